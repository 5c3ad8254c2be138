"""Test support shared by the tests, the benchmarks and the demo: the loopback HTTPS server and its
routes (server, routes_*), the throwaway CA (ca), Wine and the X display (wine), the window probe
(probe), the one assertion helper (checks), the end-to-end frame (scenario, world, steps) and the
private nginx + PHP-FPM stack (php_stack). Found through PYTHONPATH=tests, which CTest, the demo and
the benchmark scripts set."""
import os

SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def test_port():
    """The loopback port the test and demo builds fetch their manifest from (tools/configs.sh)."""
    port = os.environ.get("QUORVEL_TEST_PORT")
    if not port:
        raise RuntimeError("QUORVEL_TEST_PORT is not set: run through CTest or source tools/configs.sh")
    return int(port)
