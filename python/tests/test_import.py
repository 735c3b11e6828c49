import varnok_py


def test_module_imports():
    assert varnok_py.__name__ == "varnok_py"
