"""Python binding of libquorent_sdk_uniffi.

Importing the package loads the library ($QUORENT_SDK_LIB when set;
otherwise the copy the package carries, then the system's library path),
checks its contract version and the checksum of every operation, and fails
with ImportError (IncompatibleLibraryError when the library does not match).

Every operation is a plain function. Records come back as dataclasses
(Deed, AppKey, Claims, Pkce); a declared failure raises SdkError.Sdk or
SdkError.InsecureOrigin (both subclasses of SdkError, with .message); an
unexpected failure inside the library raises InternalError. Arguments are
checked before any call: TypeError for a value of the wrong type,
ValueError for an integer out of range or a value longer than 2**31 - 1
bytes.

components() lists what the library the package carries is built with
(name, version, licence, package URL), as the wheel's SBOM names it.
"""

from . import _generated, _runtime
from ._generated import *  # noqa: F401,F403
from ._generated import __all__ as _operations
from ._generated import __version__
from ._components import components
from ._runtime import IncompatibleLibraryError, InternalError

_runtime.load(_generated)

__all__ = list(_operations) + ["InternalError", "IncompatibleLibraryError", "components"]
