"""A private nginx + PHP-FPM deployment on loopback, as a vendor runs it, for tests and demos.

    certs = testbed.ca.ensure_ca(workdir)             # throwaway CA and server certificate
    with serve_folder(folder, port, certs.server_pem, certs.server_key, workdir) as stack:
        ... https://127.0.0.1:<port>/download/latest/filelist.json.php ...

serve_folder copies server/filelist.json.php into `folder` and serves it at /download/latest/ over
TLS 1.2/1.3 with the vendor's nginx block (server/nginx-download.conf). Everything the two servers
write (config, pid files, logs, temp files, the FastCGI socket) stays under `workdir`; nothing runs
as a system service and nothing outside `workdir` is touched. Works as an ordinary user and as root.
Raises Unavailable when nginx or php-fpm is missing (callers skip), StackError otherwise.
"""
import glob
import grp
import os
import pwd
import shutil
import socket
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_ROOT = os.path.dirname(HERE)
DEFAULT_SCRIPT = os.path.join(SOURCE_ROOT, "server", "filelist.json.php")
VENDOR_BLOCK = os.path.join(SOURCE_ROOT, "server", "nginx-download.conf")
VENDOR_SOCKET = "unix:/run/php/php8.2-fpm.sock"
START_TIMEOUT = 30


class Unavailable(Exception):
    """A program the stack needs is not installed."""


class StackError(Exception):
    """The stack could not be started; the message names the log to read."""


def free_port(host="127.0.0.1"):
    with socket.socket() as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def find_php_fpm():
    found = shutil.which("php-fpm") or shutil.which("php-fpm", path="/usr/sbin:/usr/local/sbin")
    if found:
        return found
    versions = sorted(glob.glob("/usr/sbin/php-fpm*") + glob.glob("/usr/local/sbin/php-fpm*"))
    if versions:
        return versions[-1]
    raise Unavailable("php-fpm is not installed (Debian package php-fpm)")


def find_nginx():
    found = shutil.which("nginx") or shutil.which("nginx", path="/usr/sbin:/usr/local/sbin")
    if not found:
        raise Unavailable("nginx is not installed (Debian package nginx)")
    return found


def _run(command, what, cwd=None):
    result = subprocess.run(command, capture_output=True, text=True, cwd=cwd)
    if result.returncode != 0:
        raise StackError(f"{what} failed: {' '.join(command)}\n{result.stdout}{result.stderr}")
    return result


def vendor_block(socket_path):
    """The vendor's nginx block with its FastCGI socket pointed at ours."""
    with open(VENDOR_BLOCK, encoding="utf-8") as f:
        block = f.read()
    if VENDOR_SOCKET not in block:
        raise StackError(f"{VENDOR_BLOCK} no longer passes to {VENDOR_SOCKET}; update testbed/php_stack.py")
    return block.replace(VENDOR_SOCKET, "unix:" + socket_path)


# A host without PHP, as a CDN or object store serves a folder: the manifest is a plain file made by
# the checker's --make, served as JSON.
STATIC_BLOCK = """location /download/latest/ {
    location ~ /\\. {
        return 404;
    }
    location = /download/latest/filelist.json.php {
        types { }
        default_type application/json;
    }
}"""


class Stack:
    """A running nginx + PHP-FPM pair (nginx alone when static); stop() ends both (also on leaving
    a `with` block)."""

    def __init__(self, folder, port, cert, key, workdir, host, script, static=False):
        self.static = static
        self.folder = os.path.abspath(folder)
        self.port = port
        self.host = host
        self.base_url = f"https://{host}:{port}" if port != 443 else f"https://{host}"
        self.manifest_url = self.base_url + "/download/latest/filelist.json.php"
        self.workdir = os.path.abspath(workdir)
        self.logs = os.path.join(self.workdir, "logs")
        self.php_error_log = os.path.join(self.logs, "php-error.log")
        self.temp_folder = os.path.join(self.workdir, "tmp")  # PHP's temporary folder
        self._processes = []
        self._socket_dir = None
        if script:
            shutil.copyfile(script, os.path.join(self.folder, "filelist.json.php"))
        self._start(os.path.abspath(cert), os.path.abspath(key))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def _start(self, cert, key):
        nginx, php_fpm = find_nginx(), None if self.static else find_php_fpm()
        w = self.workdir
        run, temp, conf, root = (os.path.join(w, n) for n in ("run", "temp", "conf", "root"))
        for d in (run, temp, conf, self.logs, root, self.temp_folder):
            shutil.rmtree(d, ignore_errors=True)  # a former run's, never anything else of workdir
        for d in (run, temp, conf, self.logs, os.path.join(root, "download"), self.temp_folder):
            os.makedirs(d)
        os.symlink(self.folder, os.path.join(root, "download", "latest"))
        sock = os.path.join(run, "php-fpm.sock")
        if len(sock.encode()) > 100:  # a unix socket path has about 107 bytes
            self._socket_dir = tempfile.mkdtemp(prefix="quorvel-fpm-")
            sock = os.path.join(self._socket_dir, "php-fpm.sock")
        as_root = os.geteuid() == 0
        user = pwd.getpwuid(os.geteuid()).pw_name
        group = grp.getgrgid(os.getegid()).gr_name

        fpm_conf = os.path.join(conf, "php-fpm.conf")
        with open(fpm_conf, "w") as f:
            f.write(f"""[global]
pid = {run}/php-fpm.pid
error_log = {self.logs}/php-fpm.log
daemonize = no

[quorvel]
{f"user = {user}{chr(10)}group = {group}" if as_root else ""}
listen = {sock}
listen.mode = 0600
pm = static
pm.max_children = 2
catch_workers_output = yes
security.limit_extensions = .php
php_admin_flag[display_errors] = off
php_admin_flag[log_errors] = on
php_admin_value[error_log] = {self.php_error_log}
env[TMPDIR] = {self.temp_folder}
""")
        shutil.copyfile("/etc/nginx/mime.types", os.path.join(conf, "mime.types"))
        nginx_conf = os.path.join(conf, "nginx.conf")
        temps = "\n".join(f"    {kind}_temp_path {temp}/{kind};"
                          for kind in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        with open(nginx_conf, "w") as f:
            f.write(f"""{f"user {user} {group};" if as_root else ""}
worker_processes 1;
daemon off;
master_process on;
pid {run}/nginx.pid;
error_log {self.logs}/nginx-error.log info;
events {{
    worker_connections 64;
}}
http {{
    include mime.types;
    default_type application/octet-stream;
    access_log {self.logs}/nginx-access.log;
{temps}
    sendfile on;
    server {{
        listen {self.host}:{self.port} ssl;
        server_name {self.host};
        ssl_certificate {cert};
        ssl_certificate_key {key};
        ssl_protocols TLSv1.2 TLSv1.3;
        root {root};
{_indent(STATIC_BLOCK if self.static else vendor_block(sock), 8)}
    }}
}}
""")
        fpm_command = [php_fpm, "--nodaemonize", "--fpm-config", fpm_conf, "--prefix", w]
        if as_root:
            fpm_command.append("--allow-to-run-as-root")
        if not self.static:
            _run(fpm_command + ["--test"], "checking the PHP-FPM configuration")
        nginx_command = [nginx, "-p", w + "/", "-c", nginx_conf, "-e", self.logs + "/nginx-error.log"]
        _run(nginx_command + ["-t", "-q"], "checking the nginx configuration")

        try:
            if not self.static:
                self._spawn(fpm_command, "php-fpm")
                self._wait(lambda: os.path.exists(sock), "php-fpm's socket", "php-fpm.log")
            self._spawn(nginx_command, "nginx")
            self._wait(lambda: _listening(self.host, self.port), f"nginx on port {self.port}", "nginx-error.log")
        except BaseException:
            self.stop()
            raise

    def _spawn(self, command, name):
        out = open(os.path.join(self.logs, name + ".out"), "wb")
        self._processes.append((name, subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT,
                                                       stdin=subprocess.DEVNULL), out))

    def _wait(self, ready, what, log):
        deadline = time.monotonic() + START_TIMEOUT
        while not ready():
            for name, process, _ in self._processes:
                if process.poll() is not None:
                    raise StackError(f"{name} ended at start (code {process.returncode}); "
                                     f"see {os.path.join(self.logs, log)} and {name}.out")
            if time.monotonic() > deadline:
                raise StackError(f"{what} not ready after {START_TIMEOUT} s; see {self.logs}")
            time.sleep(0.05)

    def stop(self):
        """Stops nginx, then PHP-FPM (each by its own process), and waits for both."""
        for _, process, out in reversed(self._processes):
            _end(process)
            out.close()
        self._processes = []
        if self._socket_dir:
            shutil.rmtree(self._socket_dir, ignore_errors=True)
            self._socket_dir = None


def _indent(text, spaces):
    pad = " " * spaces
    return "\n".join(pad + line if line else line for line in text.splitlines())


class BuiltinServer:
    """PHP's built-in web server over `root` on loopback; stop() ends it."""

    def __init__(self, root, port, log_path, temp_folder=None):
        self.port = port
        self.base_url = f"http://127.0.0.1:{port}"
        self._log = open(log_path, "wb")
        env = dict(os.environ)
        if temp_folder:
            os.makedirs(temp_folder, exist_ok=True)
            env["TMPDIR"] = temp_folder
        # -n: no php.ini, so the machine's settings cannot change what is tested
        self._process = subprocess.Popen(
            ["php", "-n", "-d", "log_errors=1", "-S", f"127.0.0.1:{port}", "-t", root],
            stdout=self._log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, cwd=root, env=env)
        deadline = time.monotonic() + START_TIMEOUT
        while not _listening("127.0.0.1", port):
            if self._process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise StackError(f"php -S did not start; see {log_path}")
            time.sleep(0.05)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        _end(self._process)
        self._log.close()


def serve_builtin(root, port, log_path, temp_folder=None):
    """Serves `root` with `php -S` at http://127.0.0.1:port/ until the result is stopped; PHP's
    temporary folder is `temp_folder` when given."""
    if not shutil.which("php"):
        raise Unavailable("PHP's command-line program 'php' is not installed (Debian package php-cli)")
    return BuiltinServer(root, port, log_path, temp_folder)


def _listening(host, port):
    try:
        socket.create_connection((host, port), timeout=2).close()
        return True
    except OSError:
        return False


def _end(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def serve_folder(folder, port, cert, key, workdir, host="127.0.0.1", script=DEFAULT_SCRIPT, static=False):
    """Serves `folder` at https://host:port/download/latest/ (copying `script` into it unless
    None) until the returned Stack is stopped. static: nginx alone, the folder's own
    filelist.json.php served as a JSON file."""
    return Stack(folder, port, cert, key, workdir, host, None if static else script, static)
