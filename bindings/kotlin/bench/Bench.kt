// Time per call through the Kotlin binding against the C ABI's own time (the
// C harness cabi.c, numbers passed in as op=µs) and against the same call made
// directly from the JVM (the same direct-mapped functions, buffers built and
// freed by hand, no conversion); after warm-up, this thread's CPU time per
// call, best of seven rounds interleaved. On x86-64 the binding is timed on its
// portable path too (StructAbi, which every other platform takes), in the same
// rounds, and the difference printed.
//   java ... quorent.sdk.bench.BenchKt [iterations [normalize_origin=µs mint_user_deed=µs]]
package quorent.sdk.bench

import com.sun.jna.Memory
import com.sun.jna.Native
import com.sun.jna.Platform
import com.sun.jna.Pointer
import quorent.sdk.*

private val mem = Memory(64)
private val status = Pointer.nativeValue(mem)
private val result = status + 32

// The status stays all zero: the library leaves it untouched on success.
private fun lower(bytes: ByteArray): LongArray {
    BufferAbi.ffi_quorent_sdk_uniffi_rustbuffer_alloc(result, bytes.size.toLong(), status)
    val b = longArrayOf(mem.getLong(32), mem.getLong(40), mem.getLong(48))
    Pointer(b[2]).write(0, bytes, 0, bytes.size)
    return b
}

private fun takeResult(): Int {
    check(mem.getByte(0).toInt() == 0)
    val capacity = mem.getLong(32)
    val len = mem.getLong(40)
    val data = mem.getLong(48)
    val n = Pointer(data).getByteArray(0, len.toInt()).size
    BufferAbi.ffi_quorent_sdk_uniffi_rustbuffer_free(status, 0, 0, 0, 0, 0, capacity, len, data)
    return n
}

private const val ORIGIN = "https://Shop.test:443/"
private const val KEY = "d1f1e27216d52ba4d0e041d5b813917833be63f827e4e7d0b6f0f3f8fd56c2f0"

private fun rawNormalizeOrigin(origin: ByteArray): Int {
    val a = lower(origin)
    Abi.uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(result, status, 0, 0, 0, 0, a[0], a[1], a[2])
    return takeResult()
}

private fun rawMintUserDeed(key: ByteArray, aud: ByteArray, origin: ByteArray, challenge: ByteArray): Int {
    val k = lower(key)
    val a = lower(aud)
    val o = lower(origin)
    val c = lower(challenge)
    Abi.uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed(
        result, 7, 1700000300, status, 0, 0, k[0], k[1], k[2], a[0], a[1], a[2], o[0], o[1], o[2], c[0], c[1], c[2])
    return takeResult()
}

private var sink = 0

private val cpu = java.lang.management.ManagementFactory.getThreadMXBean()

/** CPU time per call of one round, in microseconds. */
private fun round(iterations: Int, body: () -> Int): Double {
    val t0 = cpu.currentThreadCpuTime
    for (i in 0 until iterations) sink += body()
    return (cpu.currentThreadCpuTime - t0) / 1000.0 / iterations
}

fun main(args: Array<String>) {
    val n = args.firstOrNull()?.toInt() ?: 20000
    val cAbi = args.drop(1).associate { it.substringBefore('=') to it.substringAfter('=').toDouble() }
    mem.clear()
    normalizeOrigin(ORIGIN) // loads and checks the library
    val fastDefault = !Rt.structAbi
    val compare = fastDefault && Platform.ARCH == "x86-64"
    if (compare) { // both paths bound, the binding switched between them round by round
        val lib = Loader.open()
        Native.register(BufferStructAbi::class.java, lib)
        Native.register(StructAbi::class.java, lib)
    }
    fun portable(body: () -> Int): () -> Int = {
        Rt.structAbi = true
        try {
            body()
        } finally {
            Rt.structAbi = false
        }
    }
    val origin = ORIGIN.toByteArray()
    val key = KEY.toByteArray()
    val aud = "shop-api".toByteArray()
    val canonical = "https://shop.example".toByteArray()
    val challenge = "rp-challenge-8f14e45f".toByteArray()
    class Row(val name: String, val iterations: Int, val target: Double, val binding: () -> Int, val raw: () -> Int)
    val rows = listOf(
        Row("normalize_origin", n, 5.0, { normalizeOrigin(ORIGIN).length }, { rawNormalizeOrigin(origin) }),
        Row("mint_user_deed", maxOf(1, n / 10), 15.0,
            { mintUserDeed(KEY, 7uL, "shop-api", "https://shop.example", "rp-challenge-8f14e45f", 1700000300uL).sub.length },
            { rawMintUserDeed(key, aud, canonical, challenge) }))
    println("| language | operation | binding µs | C ABI µs | overhead µs | target µs | met |")
    println("|---|---|---:|---:|---:|---:|:-:|")
    val direct = ArrayList<String>()
    val paths = ArrayList<String>()
    for (r in rows) {
        val structBody = portable(r.binding)
        for (i in 0 until 3) { // warm-up
            round(r.iterations, r.raw)
            round(r.iterations, r.binding)
            if (compare) round(r.iterations, structBody)
        }
        var raw = Double.MAX_VALUE
        var binding = Double.MAX_VALUE
        var struct = Double.MAX_VALUE
        for (i in 0 until 7) {
            raw = minOf(raw, round(r.iterations, r.raw))
            binding = minOf(binding, round(r.iterations, r.binding))
            if (compare) struct = minOf(struct, round(r.iterations, structBody))
        }
        if (compare) paths += String.format("%s %.2f µs (+%.2f)", r.name, struct, struct - binding)
        val base = cAbi[r.name] ?: raw
        val overhead = binding - base
        println(String.format("| Kotlin/JVM | %s | %.2f | %.2f | %.2f | %.0f | %s |", r.name, binding, base, overhead,
            r.target, if (overhead <= r.target) "yes" else "NO"))
        direct += String.format("%s %.2f µs", r.name, raw)
    }
    println("(the same C calls made directly from the JVM, without the binding: ${direct.joinToString(", ")})")
    if (compare) println("(the binding on its portable path, RustBuffer by value through libffi: ${paths.joinToString(", ")})")
    if (sink == 42) println()
}
