// Failures of the machinery under an operation that no input can cause:
// libcrypto refusing a call it was built to serve, libsecp256k1 refusing a
// key already checked, an allocation inside libcrypto failing. A function
// with no error to return records the failure here and goes on with a
// harmless value (zeros, "does not verify"); the interface's call frame
// reports a failure recorded during a call as that call's internal failure,
// with the text recorded, and drops whatever the call produced. Nothing is
// thrown: the library builds without C++ exceptions where the C++ runtime has
// none (WebAssembly).
#pragma once

namespace quorent {

// Records a failure of the calling thread; the first one recorded since the
// last take_fault() is kept. `what` is a string literal.
void record_fault(const char* what) noexcept;

// The failure recorded on the calling thread since the last call, or
// nullptr; clears it.
const char* take_fault() noexcept;

}  // namespace quorent
