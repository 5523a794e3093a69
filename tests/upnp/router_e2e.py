#!/usr/bin/env python3
"""The router's port opened by the plug-in, against a real router: Debian's miniupnpd in network
namespaces this test makes. `lan` holds the broadcaster (the player stand-in with the plug-in,
under a wineserver of its own started inside that namespace), `lan2` another PC on the same LAN,
`rtr` the router (forwarding, a bridge on the LAN side, nftables NAT with the daemon's chains) and
`wan` a listener on the internet side (FFmpeg). Nothing has a route out of these namespaces.

Cases, each with the monitor's line checked: IGD version 2 and version 1 with a public WAN
address (FFmpeg plays the stream through the router's WAN address while broadcasting, and is
refused after the stop); a port outside the router's allow rule (another port is given); the port
mapped already by another LAN host; no router; a carrier-NAT WAN address (double NAT). Prints the
times from the start command to the router's rule and from the stop command to its removal.

Usage: router_e2e.py BIN_DIR   (Wine environment from the caller: WINEPREFIX, DISPLAY)
Exit 77 (skipped) when not root, or when network namespaces or miniupnpd are missing.
"""
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

BIN = sys.argv[1]
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TAG = str(os.getpid())
NS = {name: 'o%s%s' % (name, TAG) for name in ('lan', 'lan2', 'rtr', 'wan')}
LAN_NET = '192.168.77'
PUBLIC_WAN = ('11.22.33.1', '11.22.33.2', 24)   # router, listener: an address the daemon takes as public
CGNAT_WAN = ('100.64.0.1', '100.64.0.2', 10)
PORT = 8080
START, STOP = 40002, 40008
LISTEN_ADDRESS, MAPPING_LINE = 1065, 1066

failed = False
timings = []


def check(what, ok, detail=''):
    global failed
    print(('ok: ' if ok else 'FAIL: ') + what + (' (' + detail + ')' if detail else ''), flush=True)
    failed |= not ok


def skip(why):
    print('skipped: ' + why, flush=True)
    sys.exit(77)


def run(*args, check_ok=True, **kw):
    result = subprocess.run(list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)
    if check_ok and result.returncode != 0:
        raise RuntimeError('%s: %s' % (' '.join(args), result.stdout))
    return result


def ns(name, *args, **kw):
    return run('ip', 'netns', 'exec', NS[name], *args, **kw)


if os.geteuid() != 0:
    skip('making network namespaces needs root')
for tool in ('ip', 'nft', 'miniupnpd', 'upnpc', 'ffmpeg'):
    if not shutil.which(tool) and not os.path.exists('/usr/sbin/' + tool):
        skip('%s is missing (scripts/install-deps.sh installs it)' % tool)
probe = 'oprobe' + TAG
if subprocess.run(['ip', 'netns', 'add', probe], stderr=subprocess.DEVNULL).returncode != 0:
    skip('this system does not let the test make network namespaces')
subprocess.run(['ip', 'netns', 'del', probe])

work = tempfile.mkdtemp(prefix='ombrel-upnp-')
daemon = None
player = None
prefix = os.path.join(work, 'prefix')
wine_env = dict(os.environ, WINEPREFIX=prefix, WINEARCH='win32', WINEDEBUG='-all',
                WINEDLLOVERRIDES='mscoree,mshtml=;wmvcore=n', LANG='ja_JP.UTF-8', LC_ALL='ja_JP.UTF-8')


def cleanup():
    stop_daemon()
    if player and player.poll() is None:
        player.kill()
    try:
        subprocess.run(['ip', 'netns', 'exec', NS['lan'], 'wineserver', '-k'], env=wine_env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    except subprocess.TimeoutExpired:
        pass
    for name in NS.values():
        subprocess.run(['ip', 'netns', 'del', name], stderr=subprocess.DEVNULL)
    shutil.rmtree(work, ignore_errors=True)


def make_network():
    for name in NS.values():
        run('ip', 'netns', 'add', name)
    for name in NS:
        ns(name, 'ip', 'link', 'set', 'lo', 'up')
    # LAN: a bridge in the router with the two PCs on it.
    ns('rtr', 'ip', 'link', 'add', 'br0', 'type', 'bridge')
    for host, address in (('lan', LAN_NET + '.2'), ('lan2', LAN_NET + '.3')):
        outside = 'v%s%s' % (host, TAG)
        run('ip', 'link', 'add', outside, 'netns', NS['rtr'], 'type', 'veth', 'peer', 'name', 'eth0', 'netns', NS[host])
        ns('rtr', 'ip', 'link', 'set', outside, 'master', 'br0', 'up')
        ns(host, 'ip', 'addr', 'add', address + '/24', 'dev', 'eth0')
        ns(host, 'ip', 'link', 'set', 'eth0', 'up')
        ns(host, 'ip', 'route', 'add', 'default', 'via', LAN_NET + '.1')
    ns('rtr', 'ip', 'addr', 'add', LAN_NET + '.1/24', 'dev', 'br0')
    ns('rtr', 'ip', 'link', 'set', 'br0', 'up')
    # WAN: the router's outside and the listener.
    run('ip', 'link', 'add', 'wan0', 'netns', NS['rtr'], 'type', 'veth', 'peer', 'name', 'eth0', 'netns', NS['wan'])
    ns('rtr', 'ip', 'link', 'set', 'wan0', 'up')
    ns('wan', 'ip', 'link', 'set', 'eth0', 'up')
    ns('rtr', 'sysctl', '-qw', 'net.ipv4.ip_forward=1')
    ns('rtr', 'nft', '-f', '-', input='''
table inet ombrel {
    chain forward {
        type filter hook forward priority 0; policy drop;
        ct state established,related accept
        iifname "br0" oifname "wan0" accept
        jump miniupnpd
    }
    chain miniupnpd {}
    chain prerouting {
        type nat hook prerouting priority -100; policy accept;
        jump prerouting_miniupnpd
    }
    chain postrouting {
        type nat hook postrouting priority 100; policy accept;
        jump postrouting_miniupnpd
        oifname "wan0" masquerade
    }
    chain prerouting_miniupnpd {}
    chain postrouting_miniupnpd {}
}
''')


def set_wan(addresses):
    router, listener, bits = addresses
    ns('rtr', 'ip', 'addr', 'flush', 'dev', 'wan0')
    ns('wan', 'ip', 'addr', 'flush', 'dev', 'eth0')
    ns('rtr', 'ip', 'addr', 'add', '%s/%d' % (router, bits), 'dev', 'wan0')
    ns('wan', 'ip', 'addr', 'add', '%s/%d' % (listener, bits), 'dev', 'eth0')


def start_daemon(version1=False, allow='1024-65535'):
    global daemon
    lease = os.path.join(work, 'leases')
    if os.path.exists(lease):
        os.remove(lease)
    conf = os.path.join(work, 'miniupnpd.conf')
    with open(conf, 'w') as f:
        f.write('\n'.join([
            'ext_ifname=wan0', 'listening_ip=br0', 'http_port=5555', 'enable_natpmp=no', 'enable_upnp=yes',
            'secure_mode=yes', 'ipv6_disable=yes', 'uuid=3d3cec3a-8cf0-11e0-98ee-001a6bd2d07b',
            'lease_file=' + lease, 'force_igd_desc_v1=' + ('yes' if version1 else 'no'),
            'upnp_table_name=ombrel', 'upnp_nat_table_name=ombrel', 'upnp_forward_chain=miniupnpd',
            'upnp_nat_chain=prerouting_miniupnpd', 'upnp_nat_postrouting_chain=postrouting_miniupnpd',
            'allow %s %s.0/24 1024-65535' % (allow, LAN_NET), 'deny 0-65535 0.0.0.0/0 0-65535', '']))
    # A pid file of its own: another run (or the machine's own service) must not stop it.
    daemon = subprocess.Popen(['ip', 'netns', 'exec', NS['rtr'], 'miniupnpd', '-d', '-f', conf,
                               '-P', os.path.join(work, 'miniupnpd.pid')],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if ns('rtr', 'bash', '-c', 'exec 3<>/dev/tcp/%s.1/5555' % LAN_NET, check_ok=False).returncode == 0:
            return
        time.sleep(0.05)
    raise RuntimeError('miniupnpd did not start')


def stop_daemon():
    global daemon
    if daemon and daemon.poll() is None:
        daemon.send_signal(signal.SIGTERM)
        try:
            daemon.wait(5)
        except subprocess.TimeoutExpired:
            daemon.kill()
    daemon = None


def rules():
    return ns('rtr', 'nft', 'list', 'chain', 'inet', 'ombrel', 'prerouting_miniupnpd', check_ok=False).stdout


def mapped_port():
    found = re.search(r'dport (\d+) .*dnat (?:ip )?to %s\.2:%d' % (re.escape(LAN_NET), PORT), rules())
    return int(found.group(1)) if found else None


class RouterClock(threading.Thread):
    """Watches the router's rules from the moment it is started: when the mapping came and went."""

    def __init__(self, appear):
        super().__init__(daemon=True)
        self.appear, self.since, self.seen, self.done = appear, time.monotonic(), None, threading.Event()
        self.start()

    def run(self):
        while not self.done.is_set() and time.monotonic() - self.since < 15:
            if (mapped_port() is not None) == self.appear:
                self.seen = time.monotonic() - self.since
                return
            time.sleep(0.005)


def user(*steps):
    """Runs the user stand-in's steps in the LAN namespace; returns its lines."""
    result = subprocess.run(['ip', 'netns', 'exec', NS['lan'], 'wine', os.path.join(BIN, 'ombrel_user.exe'), *steps],
                            env=wine_env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                            timeout=120)
    return result.stdout.decode('utf-8', 'replace').replace('\r', '').splitlines()


def line_of(lines, control, when=False):
    shown = [(int(l[1:l.index(' ')]), l.split(': ', 1)[1]) for l in lines if re.match(r'\[\d+ ms\] %d: ' % control, l)]
    last = shown[-1] if shown else (None, '')
    return last if when else last[1]


def listener_plays(address, port):
    """FFmpeg in the WAN namespace reads a second of the stream through the router."""
    result = ns('wan', 'timeout', '15', 'ffmpeg', '-nostdin', '-v', 'error', '-rw_timeout', '5000000',
                '-i', 'mmsh://%s:%d/' % (address, port), '-t', '1', '-f', 'null', '-', check_ok=False)
    return result.returncode == 0, result.stdout.strip()[-200:]


def listener_refused(address, port):
    result = ns('wan', 'timeout', '5', 'python3', '-c',
                'import socket; socket.create_connection(("%s", %d), 2)' % (address, port), check_ok=False)
    return result.returncode != 0


def broadcast_case(name, expect_line, expect_address, play=False, wan=PUBLIC_WAN[0]):
    print('--- ' + name, flush=True)
    clock = RouterClock(appear=True)
    lines = user('wait-main', '30', 'post', str(START), 'watch', str(MAPPING_LINE), '8000',
                 'watch', str(LISTEN_ADDRESS), '1000', 'post', '40021', 'sleep', '200', 'clipboard')
    clock.done.set()
    clock.join()
    shown_ms, shown = line_of(lines, MAPPING_LINE, when=True)
    print('monitor after %s ms: %s | %s' % (shown_ms, shown, line_of(lines, LISTEN_ADDRESS)), flush=True)
    check(name + ': the monitor line', re.search(expect_line, shown) is not None, shown)
    address = line_of(lines, LISTEN_ADDRESS)
    check(name + ': the listeners\' address', re.fullmatch(expect_address, address) is not None, address)
    copied = [l[len('clipboard: '):] for l in lines if l.startswith('clipboard: ')]
    check(name + ': the copy command puts the address on the clipboard', copied == [address], str(copied))
    port = mapped_port()
    if play:
        check(name + ': the router maps the port', port == PORT, str(port))
        ok, detail = listener_plays(wan, PORT)
        check(name + ': a listener outside plays the stream through the router', ok, detail)
    stopped = RouterClock(appear=False)
    user('wait-main', '30', 'post', str(STOP), 'sleep', '300')
    stopped.join()
    if port is not None:
        check(name + ': the stop removes the mapping', stopped.seen is not None)
        timings.append((name, clock.seen, stopped.seen))
    if play:
        check(name + ': a listener outside is refused after the stop', listener_refused(wan, PORT))
    return port


try:
    make_network()
    set_wan(PUBLIC_WAN)
    # The wineserver of the LAN namespace, with a prefix of its own.
    source_prefix = os.environ.get('WINEPREFIX', '')
    if source_prefix and os.path.exists(os.path.join(source_prefix, 'system.reg')):
        run('cp', '-a', source_prefix, prefix)
    else:
        ns('lan', 'wineboot', '-i', env=wine_env, check_ok=False)
    # The namespace's wineserver and its services come up (and bring the prefix up to date)
    # before anything is timed; the dialogs' font as the project's set-up maps it.
    subprocess.run(['ip', 'netns', 'exec', NS['lan'], 'wine', 'reg', 'add', r'HKCU\Software\Wine\Fonts\Replacements',
                    '/v', 'MS UI Gothic', '/d', 'IPAPGothic', '/f'], env=wine_env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=240)
    for name in ('ombrel_player.exe', 'ombrel_user.exe', 'wmvcore.dll', 'dsp_ombrel.dll'):
        shutil.copy(os.path.join(BIN, name), work)
    with open(os.path.join(work, 'dsp_ombrel.ini'), 'w') as f:
        f.write('[Extra]\r\n_dwPort=%d\r\n_dwMaxClient=5\r\n_fPortMapping=true\r\n_fPlayLog=false\r\n' % PORT)
    player = subprocess.Popen(['ip', 'netns', 'exec', NS['lan'], 'wine', os.path.join(work, 'ombrel_player.exe'),
                               '--plugin', 'Z:' + os.path.join(work, 'dsp_ombrel.dll').replace('/', '\\'), '--loop'],
                              env=wine_env, cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    public = re.escape(PUBLIC_WAN[0])
    lan_address = r'http://%s\.2:%d/' % (re.escape(LAN_NET), PORT)

    start_daemon()
    broadcast_case('IGD version 2', r'^UPnP: ルーターのポート 8080 を開きました$', 'http://%s:8080/' % public, play=True)
    stop_daemon()

    start_daemon(version1=True)
    broadcast_case('IGD version 1', r'^UPnP: ルーターのポート 8080 を開きました$', 'http://%s:8080/' % public, play=True)
    stop_daemon()

    # Only 20000-20099 may be mapped: a version 2 gateway gives one of those instead.
    start_daemon(allow='20000-20099')
    given = broadcast_case('a port outside the allowed set',
                           r'^UPnP: ポート 8080 は開けず \(606: 許可されていません\)、ルーターはポート 200\d\d を開きました$',
                           r'http://%s:200\d\d/' % public)
    check('a port outside the allowed set: the given port is in the set', given is not None and 20000 <= given <= 20099,
          str(given))
    stop_daemon()

    # Another PC of the LAN has the port already; a first-version gateway has no other to give.
    start_daemon(version1=True)
    taken = ns('lan2', 'upnpc', '-e', 'other PC', '-a', LAN_NET + '.3', str(PORT), str(PORT), 'TCP', check_ok=False)
    check('another LAN host maps the port first', mapped_port() is None and 'is redirected' in taken.stdout,
          taken.stdout.strip()[-200:])
    broadcast_case('the port taken by another LAN host', r'^UPnP: ルーターがポート 8080 を拒否しました \(718: 別のPCが使用中\)$',
                   lan_address)
    stop_daemon()

    broadcast_case('no router', r'^UPnP: ルーターが見つかりません。外部のリスナーにはポート 8080 の転送が必要です$', lan_address)

    set_wan(CGNAT_WAN)
    start_daemon()
    broadcast_case('a carrier-NAT WAN address', r'^UPnP: ルーターの外側 \(.*\) にもNATがあります \(二重NAT\)。外部から届きません$',
                   lan_address)
    stop_daemon()

    user('wait-main', '30')
    for name, mapped, removed in timings:
        print('timing: %s: start to mapped %s ms, stop to removed %s ms' % (
            name, '%.0f' % (mapped * 1000) if mapped is not None else '-',
            '%.0f' % (removed * 1000) if removed is not None else '-'), flush=True)
finally:
    # The player quits as its close box would; whatever happens, everything the test made goes.
    try:
        if player and player.poll() is None:
            subprocess.run(['ip', 'netns', 'exec', NS['lan'], 'wine', os.path.join(work, 'ombrel_player.exe'),
                            '--close-running'], env=wine_env, cwd=work, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
            player.wait(10)
    except subprocess.TimeoutExpired:
        pass
    finally:
        cleanup()

print('1 passed, 0 failed' if not failed else '0 passed, 1 failed', flush=True)
sys.exit(1 if failed else 0)
