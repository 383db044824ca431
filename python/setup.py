"""Builds the extension queuecalc._queuecalc with the project's own CMake build.

The extension links the same library as the programs, compiled with the same
flags (no contraction into fused multiply-adds, the same SIMD kernels), so
that every number is the programs' number. The project root is the folder
above this one (pip builds a local folder in place); QUEUECALC_SOURCE_DIR
names another. QUEUECALC_BUILD_JOBS sets the parallel build jobs.
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
ROOT = Path(os.environ.get("QUEUECALC_SOURCE_DIR", HERE.parent)).resolve()


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if not (ROOT / "CMakeLists.txt").is_file():
            raise RuntimeError(f"no CMakeLists.txt in {ROOT}: set QUEUECALC_SOURCE_DIR to the project root")
        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        build = Path(self.build_temp).resolve() / "cmake"
        args = [
            "-DCMAKE_BUILD_TYPE=Release",
            "-DQUEUECALC_BUILD_PYTHON=ON",
            "-DQUEUECALC_BUILD_TESTS=OFF",
            f"-DPYTHON_EXECUTABLE={sys.executable}",
        ]
        try:
            import pybind11

            args.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass  # pybind11-dev's CMake files are found on their own
        jobs = os.environ.get("QUEUECALC_BUILD_JOBS", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), *args], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "_queuecalc", "-j", jobs], check=True)
        built = sorted((build / "python" / "module").glob("_queuecalc*"))
        if len(built) != 1:
            raise RuntimeError(f"expected one built extension, found {built}")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


setup(ext_modules=[CMakeExtension("queuecalc._queuecalc")], cmdclass={"build_ext": CMakeBuild})
