"""Python binding of libquorent_sdk_uniffi.

Importing the package loads the library ($QUORENT_SDK_LIB, or the system's
libquorent_sdk_uniffi.so), checks its contract version and the checksum of
every operation, and fails with IncompatibleLibraryError when they differ
from what the binding was generated for.

Every operation is a plain function. Records come back as dataclasses
(Deed, AppKey, Claims, Pkce); a declared failure raises SdkError.Sdk or
SdkError.InsecureOrigin (both subclasses of SdkError, with .message); an
unexpected failure inside the library raises InternalError.
"""

from . import _generated, _runtime
from ._generated import *  # noqa: F401,F403
from ._generated import __all__ as _operations
from ._runtime import IncompatibleLibraryError, InternalError

_runtime.load(_generated)

__all__ = list(_operations) + ["InternalError", "IncompatibleLibraryError"]
