import gc
import os

import pytest

import VelorinLib


def pytest_report_header(config):
    return f"VelorinLib from {VelorinLib.__file__}"


expected = os.environ.get("VELORIN_EXPECT_BUILD")
if expected and not os.path.abspath(VelorinLib.__file__).startswith(expected):
    raise RuntimeError(f"testing {VelorinLib.__file__}, expected a build from {expected}")


@pytest.fixture
def vl():
    return VelorinLib


@pytest.fixture(autouse=True)
def collect_garbage_first():
    # Register counters are process-wide: objects of earlier tests freed in
    # the middle of a test would move them.
    gc.collect()
