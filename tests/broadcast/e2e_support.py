"""What the end-to-end scripts share: checks that print their outcome and remember a failure, a
free loopback port, and a Linux path as Wine's drive Z: names it."""
import socket

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
