// The binding's runtime: finds and checks libquorent_sdk_uniffi, and carries
// every call across its buffer protocol (arguments copied into buffers the
// library allocates, results and errors copied out, every buffer received
// wiped and freed). Generated.kt holds the operations, records and error.
@file:Suppress("FunctionName")

package quorent.sdk

import com.sun.jna.Memory
import com.sun.jna.Native
import com.sun.jna.NativeLibrary
import com.sun.jna.Platform
import com.sun.jna.Pointer
import com.sun.jna.Structure
import java.io.File
import java.io.IOException
import java.nio.ByteBuffer
import java.nio.ByteOrder
import java.nio.charset.CharacterCodingException
import java.nio.charset.CodingErrorAction
import java.util.Arrays

/** An unexpected failure inside the library (its call status 2), or a result the binding could not read. */
class InternalException(message: String) : RuntimeException(message)

/** The library could not be found or loaded, or is not the one this binding was generated for. */
class LibraryLoadException(message: String) : RuntimeException(message)

/** The buffer functions, declared as x86-64 System V passes their arguments. */
internal object BufferAbi {
    @JvmStatic external fun ffi_quorent_sdk_uniffi_rustbuffer_alloc(result: Long, size: Long, status: Long)

    @JvmStatic external fun ffi_quorent_sdk_uniffi_rustbuffer_free(
        status: Long, unused1: Long, unused2: Long, unused3: Long, unused4: Long, unused5: Long,
        capacity: Long, len: Long, data: Long
    )
}

/**
 * A RustBuffer by value: capacity, len, data (a pointer, held as a 64-bit word).
 * Its three words are copied to and from native memory directly, not field by
 * field through reflection as Structure would.
 */
@Structure.FieldOrder("capacity", "len", "data")
internal open class RustBuffer : Structure() {
    @JvmField var capacity: Long = 0
    @JvmField var len: Long = 0
    @JvmField var data: Long = 0

    override fun write() {
        val p = pointer
        p.setLong(0, capacity)
        p.setLong(8, len)
        p.setLong(16, data)
    }

    override fun read() {
        val p = pointer
        capacity = p.getLong(0)
        len = p.getLong(8)
        data = p.getLong(16)
    }

    class ByValue : RustBuffer(), Structure.ByValue
}

/** The buffer functions as their C signatures declare them, for libffi: the portable path. */
internal object BufferStructAbi {
    @JvmStatic external fun ffi_quorent_sdk_uniffi_rustbuffer_alloc(size: Long, status: Long): RustBuffer.ByValue

    @JvmStatic external fun ffi_quorent_sdk_uniffi_rustbuffer_free(buf: RustBuffer.ByValue, status: Long)
}

/** Finds, checks and binds the library once, on first use. */
internal object Loader {
    const val ENV = "QUORENT_SDK_LIB"
    /** Set to 1, takes the portable path (StructAbi) on x86-64 too. */
    const val STRUCT_ABI_ENV = "QUORENT_SDK_JVM_STRUCT_ABI"
    private const val NAME = "quorent_sdk_uniffi"
    private const val CHECKSUM_PREFIX = "uniffi_quorent_sdk_uniffi_checksum_func_"

    @Volatile
    private var ready = false
    private var failure: String? = null

    fun ensure() {
        if (!ready) load()
    }

    @Synchronized
    private fun load() {
        if (ready) return
        failure?.let { throw LibraryLoadException(it) }
        try {
            val linux = Platform.isLinux() || Platform.isAndroid()
            if (!supported(linux, Platform.isWindows() || Platform.isMac(), Platform.is64Bit())) {
                throw LibraryLoadException(
                    "this binding supports 64-bit Linux, macOS and Windows only, not ${System.getProperty("os.name")} ${Platform.ARCH}")
            }
            val portable = structAbi(linux, Platform.ARCH, System.getenv(STRUCT_ABI_ENV))
            val lib = open()
            checkLibrary(lib, CHECKSUMS)
            try {
                if (portable) {
                    Native.register(BufferStructAbi::class.java, lib)
                    Native.register(StructAbi::class.java, lib)
                } else {
                    Native.register(BufferAbi::class.java, lib)
                    Native.register(Abi::class.java, lib)
                }
            } catch (e: UnsatisfiedLinkError) {
                throw LibraryLoadException("${lib.file}: ${e.message}")
            }
            Rt.structAbi = portable
            ready = true
        } catch (e: LibraryLoadException) {
            failure = e.message
            throw e
        }
    }

    /** Whether the binding runs on a platform (Linux, or [other]: Windows or macOS): a pointer is
     * passed as a Long, so 64-bit only. */
    fun supported(linux: Boolean, other: Boolean, is64Bit: Boolean) = (linux || other) && is64Bit

    /** The library's file name on a platform: the MinGW-built DLL has no "lib" prefix; macOS takes a .dylib. */
    fun fileName(windows: Boolean, mac: Boolean) = when {
        windows -> "quorent_sdk_uniffi.dll"
        mac -> "libquorent_sdk_uniffi.dylib"
        else -> "libquorent_sdk_uniffi.so"
    }

    /**
     * The C library this process runs on, from the files it has mapped (the lines of
     * /proc/self/maps): "musl" when musl's libc, which is its own dynamic loader
     * (ld-musl-<arch>.so.1, Alpine's libc.musl-<arch>.so.1 a link to it), is mapped; "glibc" when
     * glibc's libc.so.6 (libc-2.NN.so before 2.34) is; null when neither is seen. What the process
     * has mapped is what it runs on: a musl loader installed beside glibc (Debian's musl package)
     * is not mapped into a glibc JVM, so checking for the file on disk would be wrong.
     */
    fun libcOf(maps: Sequence<String>): String? {
        var found: String? = null
        for (line in maps) {
            val name = line.substringAfterLast('/', "")
            if (name.startsWith("ld-musl-") || name.startsWith("libc.musl-")) return "musl"
            if (name == "libc.so.6" || LIBC2.matches(name)) found = "glibc"
        }
        return found
    }

    private val LIBC2 = Regex("""libc-2\.[0-9]+\.so""")

    /** This process's C library on Linux (null elsewhere, or when /proc cannot be read). */
    private fun libc(): String? = if (!Platform.isLinux()) null else try {
        File("/proc/self/maps").useLines { libcOf(it) }
    } catch (e: IOException) {
        null
    }

    /** The jar's resource of the library for a platform: JNA's folder for it ([prefix], e.g.
     * linux-x86-64, darwin-aarch64, win32-x86-64), with -musl for Linux's musl build, so that glibc
     * never takes the musl build nor the reverse. An unknown C library ([libc] null) takes glibc's. */
    fun resource(prefix: String, libc: String?, file: String) =
        "/" + (if (libc == "musl") "$prefix-musl" else prefix) + "/" + file

    /**
     * Whether calls take the portable path (StructAbi, RustBuffer by value through libffi) on a
     * platform (JNA's architecture name): everywhere but x86-64 Linux, unless [env] (the value of
     * QUORENT_SDK_JVM_STRUCT_ABI) is "1". Abi's declarations model x86-64 System V only; Windows
     * x64 passes the hidden result pointer in RCX and a RustBuffer argument by reference.
     */
    fun structAbi(linux: Boolean, arch: String, env: String?) = !linux || arch != "x86-64" || env == "1"

    /** $QUORENT_SDK_LIB, else the copy this jar carries ([resource]: JNA's <platform>[-musl]/<library
     * file>, e.g. win32-x86-64/quorent_sdk_uniffi.dll), else the system's library path. */
    fun open(): NativeLibrary {
        val env = System.getenv(ENV)
        if (!env.isNullOrEmpty()) {
            try {
                return NativeLibrary.getInstance(File(env).absolutePath)
            } catch (e: UnsatisfiedLinkError) {
                throw LibraryLoadException("cannot load $env named by $ENV: ${reason(e)}")
            }
        }
        val tried = ArrayList<String>()
        val resource = resource(Platform.RESOURCE_PREFIX, libc(), fileName(Platform.isWindows(), Platform.isMac()))
        try {
            val file = Native.extractFromResourcePath(resource, Loader::class.java.classLoader)
            return NativeLibrary.getInstance(file.absolutePath)
        } catch (e: IOException) {
            tried += "classpath resource $resource (${e.message})"
        } catch (e: UnsatisfiedLinkError) {
            tried += "classpath resource $resource (${reason(e)})"
        }
        try {
            return NativeLibrary.getInstance(NAME)
        } catch (e: UnsatisfiedLinkError) {
            tried += "the system library path (${System.mapLibraryName(NAME)}: ${reason(e)})"
        }
        throw LibraryLoadException(
            "libquorent_sdk_uniffi not found; tried ${tried.joinToString("; ")}; set $ENV to the library's path")
    }

    /** The dynamic loader's own words from JNA's message, without its search notes. */
    private fun reason(e: UnsatisfiedLinkError): String =
        (e.message ?: "").lines().map { it.trim() }.filter { it.isNotEmpty() && !it.startsWith("Native library (") }
            .distinct().joinToString(" ")

    /** Refuses a library whose contract version or operation checksums differ from the generated ones. */
    fun checkLibrary(lib: NativeLibrary, checksums: Array<Pair<String, Int>>) {
        val version = try {
            lib.getFunction("ffi_quorent_sdk_uniffi_uniffi_contract_version").invokeInt(arrayOf())
        } catch (e: UnsatisfiedLinkError) {
            throw LibraryLoadException("${lib.file} is not libquorent_sdk_uniffi: ${e.message}")
        }
        if (version != CONTRACT_VERSION) {
            throw LibraryLoadException(
                "libquorent_sdk_uniffi has contract version $version, this binding needs $CONTRACT_VERSION")
        }
        for ((name, expected) in checksums) {
            val fn = try {
                lib.getFunction(CHECKSUM_PREFIX + name)
            } catch (e: UnsatisfiedLinkError) {
                throw LibraryLoadException("libquorent_sdk_uniffi has no operation $name")
            }
            val actual = (fn.invoke(Short::class.javaObjectType, arrayOf()) as Short).toInt() and 0xFFFF
            if (actual != expected) {
                throw LibraryLoadException(
                    "checksum mismatch for $name: library $actual, binding $expected; regenerate the binding")
            }
        }
    }
}

/**
 * One thread's scratch memory for a call: the call status (32 bytes) and
 * the slot a buffer result is written to (24 bytes). The status is all
 * zero whenever a call starts: the library leaves it untouched on success,
 * and a failure is cleared once read.
 */
internal class CallContext {
    private val mem = Memory(64).also { it.clear() }
    @JvmField val status: Long = Pointer.nativeValue(mem)
    @JvmField val result: Long = status + 32

    /** The same memory seen from the JVM, so that reading it needs no native call. */
    private val view = mem.getByteBuffer(0, 64).order(ByteOrder.nativeOrder())

    /** The status and the result slot as seven words, read after each call. */
    private val words = LongArray(7)

    /** The portable path's buffer arguments, reused from call to call. */
    private var structArgs = arrayOfNulls<RustBuffer.ByValue>(0)
    private var freeArg: RustBuffer.ByValue? = null

    private fun load(): Int {
        for (i in 0 until 7) words[i] = view.getLong(i * 8)
        return words[0].toByte().toInt()
    }

    private fun clearStatus() {
        for (i in 0 until 4) view.putLong(i * 8, 0)
    }

    /** Copies each argument into a buffer from the library's allocator: capacity, len, data per argument. */
    fun lower(args: Array<ByteArray?>): LongArray {
        val out = LongArray(args.size * 3)
        var made = 0
        try {
            for (bytes in args) {
                val n = bytes!!.size
                if (Rt.structAbi) {
                    store(BufferStructAbi.ffi_quorent_sdk_uniffi_rustbuffer_alloc(n.toLong(), status))
                } else {
                    BufferAbi.ffi_quorent_sdk_uniffi_rustbuffer_alloc(result, n.toLong(), status)
                }
                val code = load()
                if (code != 0) {
                    throw InternalException("rustbuffer_alloc failed: " + decodeLenient(takeError()))
                }
                val data = words[6]
                out[made * 3] = words[4]
                out[made * 3 + 1] = words[5]
                out[made * 3 + 2] = data
                made++
                Rt.made++
                if (words[5] != n.toLong() || words[4] < n || (n > 0 && data == 0L)) {
                    throw InternalException("rustbuffer_alloc returned a malformed buffer for $n bytes")
                }
                if (n > 0) Pointer(data).write(0, bytes, 0, n)
            }
            return out
        } catch (e: Throwable) {
            for (i in 0 until made) {
                try {
                    free(out[i * 3], out[i * 3 + 1], out[i * 3 + 2])
                } catch (x: Throwable) {
                    e.addSuppressed(x)
                }
            }
            throw e
        }
    }

    /** The portable path: the [i]th lowered buffer of [b] as a structure argument. */
    fun arg(b: LongArray, i: Int): RustBuffer.ByValue {
        if (i >= structArgs.size) structArgs = structArgs.copyOf(i + 1)
        val s = structArgs[i] ?: RustBuffer.ByValue().also { structArgs[i] = it }
        s.capacity = b[i * 3]
        s.len = b[i * 3 + 1]
        s.data = b[i * 3 + 2]
        return s
    }

    /** The portable path: puts a returned buffer in the result slot, where the fast path's lands. */
    fun store(r: RustBuffer.ByValue) {
        view.putLong(32, r.capacity)
        view.putLong(40, r.len)
        view.putLong(48, r.data)
    }

    /** Throws the failure the last call's status reports, if any. */
    fun check(lift: ((ByteArray) -> Exception)?) {
        val code = load()
        if (code == 0) return
        val payload = takeError()
        try {
            throw when {
                code == 1 && lift != null -> lift(payload)
                code == 2 -> InternalException(decodeLenient(payload))
                else -> InternalException("unexpected call status $code")
            }
        } finally {
            Arrays.fill(payload, 0)
        }
    }

    /** Copies out the buffer result of the last (checked) call, then wipes and frees it. */
    fun takeResult(): ByteArray = take(words[4], words[5], words[6])

    private fun takeError(): ByteArray {
        clearStatus()
        return take(words[1], words[2], words[3])
    }

    private fun take(capacity: Long, len: Long, data: Long): ByteArray {
        Rt.received++
        var bytes: ByteArray? = null
        try {
            if (data == 0L || len == 0L) return EMPTY
            if (len < 0 || len > capacity || len > Int.MAX_VALUE - 8) {
                throw InternalException("the library returned a malformed buffer (len $len, capacity $capacity)")
            }
            val n = len.toInt()
            val view = Pointer(data).getByteBuffer(0, len)
            bytes = ByteArray(n)
            view.get(bytes)
            Rt.copies?.invoke("received", bytes)
            var i = 0
            while (i + 8 <= n) {
                view.putLong(i, 0)
                i += 8
            }
            while (i < n) view.put(i++, 0)
            return bytes
        } finally {
            try {
                free(capacity, len, data)
            } catch (e: InternalException) {
                bytes?.let { Arrays.fill(it, 0) }  // never handed to the caller, who would wipe it
                throw e
            }
        }
    }

    private fun free(capacity: Long, len: Long, data: Long) {
        Rt.freed++
        if (Rt.structAbi) {
            val buf = freeArg ?: RustBuffer.ByValue().also { freeArg = it }
            buf.capacity = capacity
            buf.len = len
            buf.data = data
            BufferStructAbi.ffi_quorent_sdk_uniffi_rustbuffer_free(buf, status)
        } else {
            BufferAbi.ffi_quorent_sdk_uniffi_rustbuffer_free(status, 0, 0, 0, 0, 0, capacity, len, data)
        }
        if (view.get(0).toInt() != 0) {
            // The library refused to take back one of its own buffers; its message is dropped.
            clearStatus()
            throw InternalException("rustbuffer_free failed")
        }
    }

    private companion object {
        val EMPTY = ByteArray(0)
    }
}

/** Helpers the generated operations call. */
internal object Rt {
    /** Buffers lowered, received, and freed since start; read by the tests (not synchronised). */
    @JvmField var made = 0L
    @JvmField var received = 0L
    @JvmField var freed = 0L

    /** Calls take the portable path (StructAbi); set once by the loader, before any call. */
    @JvmField var structAbi = false

    /**
     * For the tests: when set, is handed every array the binding fills with a
     * copy (an argument's UTF-8, labelled with its name; a record writer's
     * storage, "writer"; a result or error received, "received") as it is
     * filled, so that a test can check that each is wiped once the call is over.
     */
    @JvmField var copies: ((String, ByteArray) -> Unit)? = null

    private const val MAX_BYTES = Int.MAX_VALUE.toLong()

    private val contexts = object : ThreadLocal<CallContext>() {
        override fun initialValue() = CallContext()
    }

    /** Loads the library on first use; returns this thread's call context. */
    fun call(): CallContext {
        Loader.ensure()
        return contexts.get()
    }

    /**
     * The UTF-8 bytes of [s]. Refuses, with [IllegalArgumentException], text
     * that is not valid Unicode (an unpaired surrogate, which the encoder
     * would silently replace) or longer than 2^31 - 1 bytes.
     */
    fun text(s: String, name: String, field: String? = null): ByteArray {
        var bytes = 0L
        var i = 0
        val n = s.length
        while (i < n) {
            val ch = s[i]
            when {
                ch.code < 0x80 -> bytes += 1
                ch.code < 0x800 -> bytes += 2
                Character.isHighSurrogate(ch) && i + 1 < n && Character.isLowSurrogate(s[i + 1]) -> {
                    bytes += 4
                    i++
                }
                Character.isSurrogate(ch) -> throw IllegalArgumentException(
                    "${label(name, field)} is not valid Unicode: unpaired surrogate at index $i")
                else -> bytes += 3
            }
            i++
        }
        if (bytes > MAX_BYTES) {
            throw IllegalArgumentException(
                "${label(name, field)} is $bytes bytes of UTF-8; the library takes at most $MAX_BYTES")
        }
        val out = s.toByteArray(Charsets.UTF_8)
        copies?.invoke(label(name, field), out)
        return out
    }

    fun label(name: String, field: String?) = if (field == null) name else "$name.$field"

    /** Text the library returned, checked to be UTF-8; the copy is wiped. */
    fun text(bytes: ByteArray): String {
        try {
            return utf8(bytes, 0, bytes.size)
        } finally {
            Arrays.fill(bytes, 0)
        }
    }

    /** Reads a whole nested value from a result; the copy is wiped. */
    inline fun <T> lift(bytes: ByteArray, read: (Reader) -> T): T {
        try {
            val r = Reader(bytes)
            val v = read(r)
            r.finish()
            return v
        } finally {
            Arrays.fill(bytes, 0)
        }
    }

    fun byte(v: Boolean): Byte = if (v) 1 else 0

    fun bool(v: Byte): Boolean = when (v.toInt()) {
        0 -> false
        1 -> true
        else -> throw InternalException("unexpected byte for Boolean")
    }

    fun wipe(args: Array<ByteArray?>) {
        for (a in args) if (a != null) Arrays.fill(a, 0)
    }

    fun utf8(b: ByteArray, off: Int, n: Int): String {
        var ascii = true
        for (i in off until off + n) {
            if (b[i] < 0) {
                ascii = false
                break
            }
        }
        if (ascii) return String(b, off, n, Charsets.US_ASCII)
        try {
            return Charsets.UTF_8.newDecoder()
                .onMalformedInput(CodingErrorAction.REPORT)
                .onUnmappableCharacter(CodingErrorAction.REPORT)
                .decode(ByteBuffer.wrap(b, off, n)).toString()
        } catch (e: CharacterCodingException) {
            throw InternalException("the library returned text that is not UTF-8")
        }
    }
}

internal fun decodeLenient(bytes: ByteArray) = String(bytes, Charsets.UTF_8)

/**
 * Reads nested values (big-endian) from a copied result. Its unsigned members, as
 * Writer's, are named for the JVM as in Kotlin, so that every public method of the jar
 * has a name Java can call (checked by check_classes.py --java).
 */
internal class Reader(private val b: ByteArray) {
    private var pos = 0

    private fun need(n: Int) {
        if (n < 0 || b.size - pos < n) {
            throw InternalException("not enough bytes remaining in buffer (${b.size - pos} < $n)")
        }
    }

    @JvmName("u8")
    fun u8(): UByte {
        need(1)
        return b[pos++].toUByte()
    }

    fun i32(): Int {
        need(4)
        var v = 0
        for (i in 0 until 4) v = (v shl 8) or (b[pos + i].toInt() and 0xFF)
        pos += 4
        return v
    }

    @JvmName("u64")
    fun u64(): ULong {
        need(8)
        var v = 0L
        for (i in 0 until 8) v = (v shl 8) or (b[pos + i].toLong() and 0xFF)
        pos += 8
        return v.toULong()
    }

    fun bool(): Boolean {
        need(1)
        return Rt.bool(b[pos++])
    }

    fun tag(): Boolean {
        need(1)
        return when (b[pos++].toInt()) {
            0 -> false
            1 -> true
            else -> throw InternalException("unexpected tag byte for Option")
        }
    }

    fun str(): String {
        val n = i32()
        need(n)
        val s = Rt.utf8(b, pos, n)
        pos += n
        return s
    }

    fun bytes(): ByteArray {
        val n = i32()
        need(n)
        val v = b.copyOfRange(pos, pos + n)
        pos += n
        return v
    }

    fun finish() {
        if (pos != b.size) throw InternalException("junk data left in buffer after lifting (count: ${b.size - pos})")
    }
}

/** Writes nested values (big-endian) for a record or sequence argument. */
internal class Writer {
    private var b = ByteArray(128).also { Rt.copies?.invoke("writer", it) }
    private var pos = 0

    private fun room(n: Long, name: String, field: String? = null) {
        val want = pos + n
        if (want > Int.MAX_VALUE - 8) {
            throw IllegalArgumentException("${Rt.label(name, field)} makes an argument of more than 2^31 - 1 bytes")
        }
        if (want > b.size) {
            val grown = b.copyOf(maxOf(want, minOf(b.size * 2L, Int.MAX_VALUE - 8L)).toInt())
            Rt.copies?.invoke("writer", grown)
            Arrays.fill(b, 0)
            b = grown
        }
    }

    @JvmName("u8")
    fun u8(v: UByte) {
        room(1, "u8")
        b[pos++] = v.toByte()
    }

    fun bool(v: Boolean) {
        room(1, "bool")
        b[pos++] = if (v) 1 else 0
    }

    fun tag(present: Boolean) = bool(present)

    private fun i32(v: Int) {
        for (i in 0 until 4) b[pos + i] = (v ushr (24 - 8 * i)).toByte()
        pos += 4
    }

    @JvmName("u64")
    fun u64(v: ULong) {
        room(8, "u64")
        val x = v.toLong()
        for (i in 0 until 8) b[pos + i] = (x ushr (56 - 8 * i)).toByte()
        pos += 8
    }

    fun str(v: String, name: String, field: String? = null) {
        val bytes = Rt.text(v, name, field)
        try {
            bytes(bytes, name, field)
        } finally {
            Arrays.fill(bytes, 0)
        }
    }

    fun bytes(v: ByteArray, name: String, field: String? = null) {
        room(4L + v.size, name, field)
        i32(v.size)
        System.arraycopy(v, 0, b, pos, v.size)
        pos += v.size
    }

    /** The bytes written; the working copy is wiped. */
    fun done(): ByteArray {
        val out = b.copyOf(pos)
        Rt.copies?.invoke("writer", out)
        Arrays.fill(b, 0)
        return out
    }
}
