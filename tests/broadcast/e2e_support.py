"""What the end-to-end scripts share: checks that print their outcome and remember a failure, a
free loopback port, and a Linux path as Wine's drive Z: names it."""
import socket
import subprocess
import time

_failed = False


def check(what, ok, detail=''):
    global _failed
    print(('ok: ' if ok else 'FAIL: ') + what + (' (' + detail + ')' if detail else ''))
    _failed |= not ok


def checks_failed():
    return _failed


def reset_checks():
    global _failed
    _failed = False


def free_port():
    s = socket.socket()
    s.bind(('127.0.0.1', 0))
    port = s.getsockname()[1]
    s.close()
    return port


def windows_path(path):
    return 'Z:' + path.replace('/', '\\')


def wait_until_listening(process, port, seconds=30, step=0.03):
    """Until something accepts on 127.0.0.1:port, the process has ended or the time is up."""
    deadline = time.time() + seconds
    while time.time() < deadline and process.poll() is None:
        try:
            socket.create_connection(('127.0.0.1', port), timeout=0.2).close()
            return True
        except OSError:
            time.sleep(step)
    return False


def wait_or_kill(process, seconds):
    """The process's exit status, or 'timed out' after killing it."""
    try:
        return process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        return 'timed out'


def finish_listeners(probe, pull, seconds):
    """Waits for FFprobe (its output kept) and FFmpeg to end, killing both after seconds.
    Returns FFprobe's standard output and error."""
    try:
        probe_out, probe_err = probe.communicate(timeout=seconds)
        pull.communicate(timeout=seconds)
    except subprocess.TimeoutExpired:
        probe.kill()
        pull.kill()
        probe_out, probe_err = probe.communicate()
    return probe_out, probe_err
