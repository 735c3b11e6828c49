"""Registers the marker pytest-run-parallel reads, so the suite runs without the plugin too."""


def pytest_configure(config):
    config.addinivalue_line("markers", "thread_unsafe(reason): run once, not in parallel threads")
