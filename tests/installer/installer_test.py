#!/usr/bin/env python3
"""The setup program as a broadcaster meets it, under Wine on a Japanese system: built twice from
the same DLL it gives the same bytes; run silently it finds Winamp from the player's registry
entries, puts the DLL into the Plugins folder and leaves the settings file alone; its uninstaller,
run as Programs and Features runs it, takes the DLL away and leaves the settings; without a
Winamp folder it ends with an error and writes nothing; while the player has the DLL loaded it
refuses and keeps the old DLL.

Runs in its own Wine prefix (BUILD_DIR/wineprefix-installer), whose registry and folders it sets
up itself before each case.

Usage: installer_test.py BUILD_DIR   (BUILD_DIR/bin holds dsp_ombrel.dll and the player stand-in)
"""
import filecmp
import os
import shutil
import subprocess
import sys
import time

BUILD = os.path.abspath(sys.argv[1])
BIN = os.path.join(BUILD, 'bin')
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WORK = os.path.join(BUILD, 'installer-test')
PREFIX = os.path.join(BUILD, 'wineprefix-installer')
DRIVE_C = os.path.join(PREFIX, 'drive_c')
DLL = os.path.join(BIN, 'dsp_ombrel.dll')
SETUP = os.path.join(WORK, 'ombrel-dsp-1.05-setup.exe')

ARP = r'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\dsp_ombrel'
ARP_USER = r'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\dsp_ombrel'
WINAMP_USER = r'HKCU\Software\Winamp'
WINAMP_ARP = r'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp'
# Settings as the plug-in writes them, with a Japanese channel name in code page 932.
INI = '[PeerCast]\r\nChannelName=深夜ラジオ\r\nPort=7144\r\n'.encode('cp932')

ENV = dict(os.environ, WINEPREFIX=PREFIX, WINEARCH='win32', WINEDEBUG='-all',
           WINEDLLOVERRIDES='mscoree,mshtml=;wmvcore=n', LANG='ja_JP.UTF-8', LC_ALL='ja_JP.UTF-8')

failed = False


def check(what, ok, detail=''):
    global failed
    print(('ok: ' if ok else 'FAIL: ') + what + (' (' + detail + ')' if detail else ''), flush=True)
    failed |= not ok


def expect_exit(what, status, wanted):
    check('%s ends with %d' % (what, wanted), status == wanted, 'exit %d' % status)


def wine(*args, timeout=120):
    """The program's exit code, or -1 when it did not end in time (a box waiting for a click)."""
    try:
        return subprocess.run(['wine', *args], env=ENV, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


def run_command_line(line):
    """Runs a command line exactly as typed at a Windows prompt: Wine would quote an argument
    holding a space, and /D= and _?= must come unquoted."""
    with open(os.path.join(DRIVE_C, 'ombrel-run.bat'), 'w', encoding='ascii', newline='\r\n') as bat:
        bat.write('@%s\nexit /b %%ERRORLEVEL%%\n' % line)
    return wine('cmd', '/c', r'C:\ombrel-run.bat')


def reg_set(key, value, data):
    name = ['/ve'] if value == '' else ['/v', value]
    wine('reg', 'add', key, *name, '/d', data, '/f')


def reg_get(key, value):
    out = subprocess.run(['wine', 'reg', 'query', key, '/v', value], env=ENV, stdin=subprocess.DEVNULL,
                         capture_output=True, timeout=60).stdout.decode('cp932', 'replace')
    for line in out.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[0] == value and parts[1].startswith('REG_'):
            return parts[2]
    return None


def host_path(windows_path):
    """C:\\a\\b → the prefix's drive_c/a/b."""
    return os.path.join(DRIVE_C, *windows_path[3:].split('\\'))


def make_winamp(folder, plugins=True):
    """A Winamp folder as the player's set-up leaves it: the player (our stand-in) and Plugins."""
    path = host_path(folder)
    os.makedirs(path, exist_ok=True)
    shutil.copy(os.path.join(BIN, 'ombrel_player.exe'), os.path.join(path, 'winamp.exe'))
    shutil.copy(os.path.join(BIN, 'wmvcore.dll'), os.path.join(path, 'wmvcore.dll'))
    if plugins:
        os.makedirs(os.path.join(path, 'Plugins'), exist_ok=True)
    return path


def lock_folder(path, locked):
    """Makes a folder that this user cannot write, as Program Files is to a user without an
    administrator's permission: root writes everywhere unless the folder is immutable."""
    if os.geteuid() == 0:
        subprocess.run(['chattr', '+i' if locked else '-i', path], capture_output=True)
    else:
        os.chmod(path, 0o555 if locked else 0o755)
    probe = os.path.join(path, 'probe')
    try:
        open(probe, 'wb').close()
        os.remove(probe)
        return False
    except OSError:
        return True


def reset():
    for key in (ARP, ARP_USER, WINAMP_USER, WINAMP_ARP):
        wine('reg', 'delete', key, '/f')
    folders = [os.path.join(DRIVE_C, name) for name in os.listdir(DRIVE_C) if 'Winamp' in name]
    for folder in folders + [host_path(r'C:\Program Files\Winamp')]:
        for root, _, _ in os.walk(folder):
            lock_folder(root, False)
        shutil.rmtree(folder, ignore_errors=True)


def wait_gone(path, seconds=60):
    """The uninstaller copies itself away and returns at once: its work ends later."""
    deadline = time.time() + seconds
    while os.path.exists(path) and time.time() < deadline:
        time.sleep(0.5)
    return not os.path.exists(path)


def uninstall_keeps_settings(what, plugins, ini_path):
    settings = open(ini_path, 'rb').read()
    ini_stamp = os.stat(ini_path).st_mtime_ns
    command = reg_get(ARP, 'QuietUninstallString')
    check(what + ': Programs and Features has the silent uninstall command', command is not None, str(command))
    if command is None:
        return
    program = command.split('"')[1]
    check(what + ': the uninstall command names the uninstaller in Plugins',
          os.path.exists(host_path(program)) and os.path.dirname(host_path(program)) == plugins, program)
    wine(program, '/S')
    check(what + ': uninstalling removes the DLL', wait_gone(os.path.join(plugins, 'dsp_ombrel.dll')))
    check(what + ': and the uninstaller', wait_gone(host_path(program)))
    check(what + ': the settings stay as they were',
          open(ini_path, 'rb').read() == settings and os.stat(ini_path).st_mtime_ns == ini_stamp)
    check(what + ': the Programs and Features entry is gone', reg_get(ARP, 'DisplayName') is None)


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    make = os.path.join(ROOT, 'scripts', 'make-installer.sh')
    subprocess.run(['bash', make, DLL, SETUP], check=True)
    # The same DLL under another name and time, as a second build leaves it.
    other_dll = os.path.join(WORK, 'other', 'dsp_ombrel.dll')
    os.makedirs(os.path.dirname(other_dll))
    shutil.copy(DLL, other_dll)
    os.utime(other_dll, (0, 0))
    subprocess.run(['bash', make, other_dll, SETUP + '.again'], check=True)
    check('two setup programs from the same DLL are the same bytes',
          filecmp.cmp(SETUP, SETUP + '.again', shallow=False), '%d bytes' % os.path.getsize(SETUP))

    if not os.path.exists(os.path.join(PREFIX, 'system.reg')):
        print('creating the Wine prefix %s ...' % PREFIX, flush=True)
        subprocess.run(['wineboot', '-i'], env=ENV, stdin=subprocess.DEVNULL, capture_output=True, timeout=600)
        subprocess.run(['wineserver', '-w'], env=ENV, timeout=600)
    setup = os.path.join(WORK, 'setup.exe')
    shutil.copy(SETUP, setup)

    # Winamp as its set-up registers it for the user, with settings and an older DLL in Plugins.
    reset()
    winamp = make_winamp(r'C:\Program Files\Winamp')
    plugins = os.path.join(winamp, 'Plugins')
    ini_path = os.path.join(plugins, 'dsp_ombrel.ini')
    open(ini_path, 'wb').write(INI)
    os.utime(ini_path, (1_600_000_000, 1_600_000_000))
    ini_stamp = os.stat(ini_path).st_mtime_ns
    open(os.path.join(plugins, 'dsp_ombrel.dll'), 'wb').write(b'MZ an older build')
    reg_set(WINAMP_USER, '', r'C:\Program Files\Winamp')
    status = wine(setup, '/S')
    expect_exit('silent set-up with Winamp registered for the user', status, 0)
    check('the DLL in Plugins is the built one',
          filecmp.cmp(os.path.join(plugins, 'dsp_ombrel.dll'), DLL, shallow=False))
    check('the settings file is untouched',
          open(ini_path, 'rb').read() == INI and os.stat(ini_path).st_mtime_ns == ini_stamp)
    check('Plugins holds the DLL, the settings and the uninstaller, nothing else',
          sorted(os.listdir(plugins)) == ['dsp_ombrel.dll', 'dsp_ombrel.ini', 'dsp_ombrel_uninstall.exe'],
          str(sorted(os.listdir(plugins))))
    check('Programs and Features names the plug-in',
          reg_get(ARP, 'DisplayName') == 'Ombrel DSP plugin v1.05', str(reg_get(ARP, 'DisplayName')))

    # While the player has the DLL loaded, a new set-up neither replaces nor removes it.
    player_log = os.path.join(WORK, 'player.log')
    with open(player_log, 'wb') as log:
        player = subprocess.Popen(['wine', os.path.join(winamp, 'winamp.exe'), '--plugin',
                                   r'C:\Program Files\Winamp\Plugins\dsp_ombrel.dll', '--pace', 'fast',
                                   '--loop', '--quit-after', '15'], env=ENV, stdin=subprocess.DEVNULL,
                                  stdout=log, stderr=subprocess.STDOUT, cwd=winamp)
    deadline = time.time() + 60
    while b'loaded plug-in' not in open(player_log, 'rb').read() and player.poll() is None \
            and time.time() < deadline:
        time.sleep(0.2)
    check('the player stand-in loads the installed plug-in', b'loaded plug-in' in open(player_log, 'rb').read())
    status = wine(setup, '/S')
    expect_exit('silent set-up while the player runs the plug-in', status, 3)
    # _?= runs the uninstaller in place, so its exit code is its own.
    status = run_command_line(r'"C:\Program Files\Winamp\Plugins\dsp_ombrel_uninstall.exe" /S '
                              r'_?=C:\Program Files\Winamp\Plugins')
    expect_exit('so does the silent uninstaller', status, 3)
    check('and the loaded DLL is still there',
          filecmp.cmp(os.path.join(plugins, 'dsp_ombrel.dll'), DLL, shallow=False))
    player.wait(timeout=120)
    # The plug-in saved its settings as the player quit: the uninstaller keeps that file.
    uninstall_keeps_settings('Winamp of the user', plugins, ini_path)

    # Winamp known only by its entry in Programs and Features, in a Japanese folder without
    # Plugins, while the user's entry points to a Winamp that was removed.
    reset()
    winamp = make_winamp(r'C:\Winamp 日本語', plugins=False)
    reg_set(WINAMP_USER, '', r'C:\Old Winamp')
    reg_set(WINAMP_ARP, 'UninstallString', r'"C:\Winamp 日本語\UninstWA.exe"')
    status = wine(setup, '/S')
    plugins = os.path.join(winamp, 'Plugins')
    expect_exit('silent set-up finding Winamp by its uninstall entry, past a stale user entry', status, 0)
    check('the DLL is in the new Plugins folder of the Japanese-named Winamp folder',
          os.path.exists(os.path.join(plugins, 'dsp_ombrel.dll')))
    ini_path = os.path.join(plugins, 'dsp_ombrel.ini')
    open(ini_path, 'wb').write(INI)
    uninstall_keeps_settings('Winamp in a Japanese folder', plugins, ini_path)

    # No Winamp anywhere: the silent set-up says so by its exit code and writes nothing.
    reset()
    status = wine(setup, '/S')
    expect_exit('silent set-up without Winamp', status, 2)
    check('and registers nothing', reg_get(ARP, 'DisplayName') is None and reg_get(ARP_USER, 'DisplayName') is None)
    # A Plugins folder this user may not write: one request for an administrator (Wine runs it
    # as the same user), then a clear refusal; no loop of requests, nothing changed.
    winamp = make_winamp(r'C:\Program Files\Winamp')
    plugins = os.path.join(winamp, 'Plugins')
    open(os.path.join(plugins, 'dsp_ombrel.ini'), 'wb').write(INI)
    reg_set(WINAMP_USER, '', r'C:\Program Files\Winamp')
    wine(setup, '/S')
    installed = sorted(os.listdir(plugins))
    uninstaller = r'"C:\Program Files\Winamp\Plugins\dsp_ombrel_uninstall.exe" /S _?='
    if lock_folder(plugins, True):
        status = wine(setup, '/S', timeout=60)
        expect_exit('silent set-up into a Plugins folder it cannot write', status, 4)
        status = run_command_line(uninstaller + r'C:\Program Files\Winamp\Plugins')
        expect_exit('so does its uninstaller', status, 4)
        check('and the folder is as it was', sorted(os.listdir(plugins)) == installed,
              str(sorted(os.listdir(plugins))))
        # An administrator's copy that cannot even start ends the run too, without a box of
        # Windows waiting for a click.
        status = run_command_line(uninstaller + r'C:\Removed Winamp\Plugins')
        expect_exit('an uninstaller whose administrator copy cannot start', status, 4)
        lock_folder(plugins, False)
    else:
        print('skipped: this file system cannot deny a folder to this user')
    reset()
    # A folder given on the command line is taken as it is.
    winamp = make_winamp(r'C:\Portable Winamp')
    shutil.copy(setup, os.path.join(DRIVE_C, 'setup.exe'))
    status = run_command_line(r'C:\setup.exe /S /D=C:\Portable Winamp')
    expect_exit('silent set-up into a folder given with /D=', status, 0)
    check('the DLL is in that folder', os.path.exists(os.path.join(winamp, 'Plugins', 'dsp_ombrel.dll')))
    reset()

    subprocess.run(['wineserver', '-k'], env=ENV, timeout=60)
    print('installer: ' + ('FAILED' if failed else 'passed'))
    sys.exit(1 if failed else 0)


if __name__ == '__main__':
    main()
