"""The wheel carries the shared library (put into quorent_sdk/ by
scripts/package.sh), so it is tagged for the platform rather than pure
Python; any Python 3 can use it, since the binding is ctypes only. The
platform tag is $QUORENT_WHEEL_PLATFORM when set (scripts/package.sh sets the
tag its platform's row in scripts/platforms.json names: manylinux or
musllinux of the library's C library floor, macosx_11_0_<arch>, win_amd64),
else this machine's."""

import os

from setuptools import setup
from setuptools.dist import Distribution
from setuptools.command.bdist_wheel import bdist_wheel


class PlatformDistribution(Distribution):
    def has_ext_modules(self):
        return True


class PlatformWheel(bdist_wheel):
    def finalize_options(self):
        super().finalize_options()
        self.root_is_pure = False

    def get_tag(self):
        return ("py3", "none", os.environ.get("QUORENT_WHEEL_PLATFORM") or super().get_tag()[2])


setup(distclass=PlatformDistribution, cmdclass={"bdist_wheel": PlatformWheel})
