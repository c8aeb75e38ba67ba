import os
import pathlib
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).parent))


def _directory(variable):
    value = os.environ.get(variable)
    if not value:
        pytest.exit(f"{variable} is not set; run these tests through ctest", returncode=2)
    return pathlib.Path(value)


@pytest.fixture(scope="session")
def dist_dir():
    """Where the build placed the deliverables."""
    return _directory("DIST_DIR")


@pytest.fixture(scope="session")
def tools_dir():
    """Where the build placed the Windows test helpers."""
    return _directory("TEST_TOOLS_DIR")
