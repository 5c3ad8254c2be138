"""The test bed that the tests, the benchmarks and the demo share; nothing that ships uses it. The
loopback HTTPS server and its routes (server, routes_*), the throwaway CA (ca), Wine and the X
display (wine), the window probe (probe), the one assertion helper (checks), the end-to-end frame
(scenario, world, steps) and the private nginx + PHP-FPM stack (php_stack). Found through
PYTHONPATH set to the project root, which CTest, the demo and the benchmark scripts set.
with-wine.sh beside it runs a command in the test bed's own Wine prefix and X display."""
import os

SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def test_port():
    """The loopback port the test and demo builds fetch their manifest from (tools/configs.sh)."""
    port = os.environ.get("QUORVEL_TEST_PORT")
    if not port:
        raise RuntimeError("QUORVEL_TEST_PORT is not set: run through CTest or source tools/configs.sh")
    return int(port)
