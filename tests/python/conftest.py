"""Where the suite finds the build: TESSELLON_BUILD (the CMake build folder) and
TESSELLON_SOURCE (the repository), set by the ctest entry that runs it."""
import os
import sys

import pytest

SOURCE = os.environ.get("TESSELLON_SOURCE") or os.path.abspath(
    os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.environ.get("TESSELLON_BUILD") or os.path.join(SOURCE, "build")
sys.path.insert(0, os.path.join(BUILD, "python"))


@pytest.fixture(scope="session")
def command():
    return os.path.join(BUILD, "cli", "tessellon")


@pytest.fixture(scope="session")
def examples():
    return os.path.join(SOURCE, "examples")


@pytest.fixture(scope="session")
def meshes():
    path = os.path.join(BUILD, "test-meshes", "data", "meshes")
    if not os.path.isdir(path):
        pytest.skip("no test meshes (scripts/install-deps fetches them)")
    return path
