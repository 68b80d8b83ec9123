"""Builds the module with the repository's CMake build: from the repository root,
pip install --no-build-isolation ./python (Debian: python3-pip, python3-dev, pybind11-dev).
BRIVOS_BUILD_DIR names a configured build directory to build the module in instead."""
import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent.parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = pathlib.Path(os.environ.get("BRIVOS_BUILD_DIR") or
                             pathlib.Path(self.build_temp).resolve() / "cmake")
        if "BRIVOS_BUILD_DIR" not in os.environ:
            subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                            f"-DPython3_EXECUTABLE={sys.executable}", "-DBRIVOS_BUILD_PYTHON=ON",
                            "-DBRIVOS_BUILD_TESTS=OFF", "-DBRIVOS_BUILD_BENCH=OFF",
                            "-DBRIVOS_BUILD_TOOLS=OFF"], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "brivos_python",
                        "-j", str(os.cpu_count() or 1)], check=True)
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(build / "python" / target.name, target)


setup(ext_modules=[Extension("brivos", sources=[])], cmdclass={"build_ext": CMakeBuild})
