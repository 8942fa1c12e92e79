// Time per call through the Kotlin binding against the same call made through
// the C ABI directly from the JVM (the same direct-mapped functions, buffers
// built and freed by hand, no conversion), after warm-up; best of five rounds.
//   java ... quorent.sdk.bench.BenchKt [iterations]
package quorent.sdk.bench

import com.sun.jna.Memory
import com.sun.jna.Pointer
import quorent.sdk.*

private val mem = Memory(64)
private val status = Pointer.nativeValue(mem)
private val result = status + 32

private fun lower(bytes: ByteArray): LongArray {
    mem.clear(32)
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
    mem.clear(32)
    BufferAbi.ffi_quorent_sdk_uniffi_rustbuffer_free(status, 0, 0, 0, 0, 0, capacity, len, data)
    return n
}

private const val ORIGIN = "https://Shop.test:443/"
private const val KEY = "d1f1e27216d52ba4d0e041d5b813917833be63f827e4e7d0b6f0f3f8fd56c2f0"

private fun rawNormalizeOrigin(origin: ByteArray): Int {
    val a = lower(origin)
    mem.clear(32)
    Abi.uniffi_quorent_sdk_uniffi_fn_func_normalize_origin(result, status, 0, 0, 0, 0, a[0], a[1], a[2])
    return takeResult()
}

private fun rawMintUserDeed(key: ByteArray, aud: ByteArray, origin: ByteArray, challenge: ByteArray): Int {
    val k = lower(key)
    val a = lower(aud)
    val o = lower(origin)
    val c = lower(challenge)
    mem.clear(32)
    Abi.uniffi_quorent_sdk_uniffi_fn_func_mint_user_deed(
        result, 7, 1700000300, status, 0, 0, k[0], k[1], k[2], a[0], a[1], a[2], o[0], o[1], o[2], c[0], c[1], c[2])
    return takeResult()
}

private var sink = 0

/** Best time per call of five rounds, in microseconds. */
private fun best(iterations: Int, body: () -> Int): Double {
    var best = Double.MAX_VALUE
    for (round in 0 until 5) {
        val t0 = System.nanoTime()
        for (i in 0 until iterations) sink += body()
        best = minOf(best, (System.nanoTime() - t0) / 1000.0 / iterations)
    }
    return best
}

fun main(args: Array<String>) {
    val n = args.firstOrNull()?.toInt() ?: 20000
    normalizeOrigin(ORIGIN) // loads and checks the library
    val origin = ORIGIN.toByteArray()
    val key = KEY.toByteArray()
    val aud = "shop-api".toByteArray()
    val canonical = "https://shop.example".toByteArray()
    val challenge = "rp-challenge-8f14e45f".toByteArray()
    val rows = listOf(
        Triple("normalize_origin", 5.0, Pair({ normalizeOrigin(ORIGIN).length }, { rawNormalizeOrigin(origin) })),
        Triple("mint_user_deed", 15.0, Pair(
            { mintUserDeed(KEY, 7uL, "shop-api", "https://shop.example", "rp-challenge-8f14e45f", 1700000300uL).sub.length },
            { rawMintUserDeed(key, aud, canonical, challenge) })))
    for ((_, _, fns) in rows) { // warm-up
        best(n, fns.first)
        best(n, fns.second)
    }
    println("| operation | binding µs | C ABI from the JVM µs | overhead µs | target µs | met |")
    println("|---|---:|---:|---:|---:|:-:|")
    for ((name, target, fns) in rows) {
        val raw = best(n, fns.second)
        val binding = best(n, fns.first)
        val overhead = binding - raw
        println(String.format("| %s | %.2f | %.2f | %.2f | %.0f | %s |", name, binding, raw, overhead, target,
            if (overhead <= target) "yes" else "NO"))
    }
    if (sink == 42) println()
}
