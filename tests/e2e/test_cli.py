"""The command line as users see it: exact output and exit code per argument vector."""
import os
import shutil
import tempfile

import pytest

from conftest import UPDATER, run_updater_at

VERSION = "Updater (Version: 2.11.4 Sep 23 2025)\n"
NOTICE = "(Copyright (c) Quorvel. All rights reserved.)\n"
SERVER_LINE = " " * 32 + "Default: update.quorvel.example:80\n"

SHORT = '''
Application Usage:
Updater <-B | -D | -G | -U > [-Hh | --help] [-b build_num]
    [-d serial_num]
    [-t transport] [-r router_serial]
    [-s serial_port] [-o baud_rate]

  Cindervex Update and Maintenance Application
    -H -h or --help for full usage information.

'''

FULL = '''  Parameters to commands:
     -i <quorvel_directory>  - The Quorvel directory used for storage of 
                                firmware files. [Default: ~/.quorvel ].
     -b <build number>        - Build version of the firmware to transfer.
                                [Default: latest version available].
     -d <device>              - Device serial number of the device to access.
     -t <transport type>      - communications method [USB,TCP,RECOVER].
     -f <bird file>           - Firmware file to be transferred to device.
     -r <router serial>       - indirect connection through router device
     -s <serial port>         - name of serial port to use for recovery
     -o <baud rate>           - baud rate for serial port (2400, 4800, 9600,
                                19200, 38400, 57600, 115200, 230400)
  Commands:
     -B                       - list the Builds available for given device.

     -L                       - list the local Builds available for given device.

     -D                       - Discover devices that are currently connected.

     -G                       - Get build file from the Quorvel server and
                                store on local machine for download to device.
                                Must specify a specific device ["-d" option].
                                Default is to obtain the latest build for the
                                given device, override with "-b" option.

     -U                       - Update the firmware on device specified.
                                Must specify a specific device ["-d" option].
                                Default is to download the latest build for the
                                given device, override with "-b" option or
                                specify specific BIRD file using "-f" option.
     -J                       - Get a JWT containing the devices software features
     -H or -h                 - Display extended usage information.


'''

EXTENDED_PARAMETERS = '''  Extended Parameters:
     -e                       - echoing of bytes enabled during recovery.

     -m                       - Attemps to use UEIBytes for faster loading
     -l 'log message'         - message to place in device history log
     -k <filename>            - log messages written into given filename
                                Default:[APP.log]
     -u <host:port>           - The hostname and port of the update server
'''

EXTENDED_COMMANDS = '''  Extended Commands:
     -I                       - View stored device information.
                                Must either use DISCOVER command ["-D"] or
                                specify a specific device ["-d" option].

     -OVERRIDE                - Override the model checks for BIRD firmware files.
                                This option should only be used when authorized by
                                Quorvel development engineers.

     -N                       - Get fingerprint from a device, requires -s

     -X <BIT_MASK>            - Bitmask for Logging
                                DEBUG_Updater       0x00000001
                                DEBUG_History       0x00000002
                                DEBUG_Attributes    0x00000004
                                DEBUG_BirdFile      0x00000008
                                DEBUG_Network       0x00000010
                                DEBUG_ServerComm    0x00000020

                                DEBUG_Network       0x00000100
                                DEBUG_Network_SR    0x00000200
                                DEBUG_Network_FIRM  0x00000400

                                DEBUG_NXPSerial     0x00001000
                                DEBUG_NXPSerial_E   0x00002000
                                DEBUG_NXPSerial_SR  0x00004000

                                DEBUG_APP           0x00010000

                                DEBUG_iMXSerial     0x10000000

     -C                       - Check the given BIRDFILE


'''

SAMPLES = ''' Sample usage:

-D                             Discover all devices connected by either USB or TCPIP.
                               Records the device information into the settings for that device.

-D -t USB                      Discover all the devices connected by USB. Records the
                               device information into the settings for that device.

-D -t USB -d 0F5849A           Discover settings of the specific device (serial number 0x40F5849A)

-G -d 40F5849A                 Get the latest firmware for the given device.
                               Downloads the firmware file into the updater specific device directory.

-U -d 40F5849A                 Update the firmware on the specific device.
                               Without other options, this command will try to locate
                               the latest firmware version to be used for updating the device.

-G -d 40F5849A -b 99528558     Get the specified build's firmware for the given device.
                               Downloads the firmware file into the updater's specific
                               device directory with the build number as the filename.

-G -U -d 40F5849A              Get the latest firmware for the given device.
                               Downloads the firmware file into the updater specific
                               device directory. After download, update the firmware
                               using the latest release.

-U -t RECOVER -s /dev/serial   Update the firmware as described above, but uses the serial interface
                               in communicating with the device to install the latest firmware.

 Sample usage for network discovery and updates:

-D -r D272031D                 Discover all devices connected to the I2C Cindervex network
                               of the given routing device D272031D.

-G -U -d 2181F0EE -r D272031D
                               Get and Update to the latest firmware for device 2181F0EE
                               indirectly through routing device D272031D.

'''

HELP = SHORT + FULL + SAMPLES
EXTENDED_HELP = SHORT + FULL + EXTENDED_PARAMETERS + SERVER_LINE + EXTENDED_COMMANDS + SAMPLES
BANNER = VERSION + NOTICE


def rejected(message):
    """A rejected option: its message, then the banner and the short usage; exit 1."""
    return (1, BANNER, message + "\n" + SHORT)


# (id, arguments, (exit code, stdout, stderr)). "{store}" is a fresh -i directory,
# "{bin}" the binary's path as argv[0].
CASES = [
    ("no-arguments", [], (0, BANNER, SHORT)),
    ("help-h", ["-h"], (0, BANNER, HELP)),
    ("help-H", ["-H"], (0, BANNER, HELP)),
    ("help-long", ["--help"], (0, BANNER, HELP)),
    ("help-prefix-he", ["--he"], (0, BANNER, HELP)),
    ("help-prefix-h", ["--h"], (0, BANNER, HELP)),
    ("extended-help", ["-X", "1", "-h"], (0, BANNER, EXTENDED_HELP)),
    ("extended-help-hex", ["-X", "0x0", "--help"], (0, BANNER, EXTENDED_HELP)),
    ("help-stops-scan", ["-h", "-X", "1"], (0, BANNER, HELP)),
    ("help-after-failure-exits-0", ["-d", "40F5849G", "-h"],
     (0, BANNER, "Invalid serial number obtained from argument [40F5849G]\n" + HELP)),
    ("bad-serial-digit", ["-d", "40F5849G", "-U"],
     rejected("Invalid serial number obtained from argument [40F5849G]")),
    ("serial-zero", ["-U", "-d", "0"], rejected("Invalid serial number obtained from argument [0]")),
    ("serial-too-long", ["-d", "140F5849A", "-U"],
     rejected("Invalid serial number obtained from argument [140F5849A]")),
    ("serial-too-long-0x", ["-d", "0x140F5849A", "-U"],
     rejected("Invalid serial number obtained from argument [140F5849A]")),
    ("serial-only-0x", ["-d", "0x", "-U"], rejected("Invalid serial number obtained from argument []")),
    ("bad-router", ["-D", "-r", "D27203Z"],
     rejected("Invalid router serial number obtained from argument [D27203Z]")),
    ("router-too-long", ["-D", "-r", "0XD272031D0"],
     rejected("Invalid router serial number obtained from argument [D272031D0]")),
    ("transport-wrong-case", ["-D", "-t", "usb"],
     rejected("Invalid transport type:[usb]\nMust be one of the following: USB, TCPIP, RECOVER")),
    ("unhandled-Y", ["-Y"], rejected("Unhandled command: [-Y]")),
    ("only-counted-command", ["-I", "-i", "{store}"], (0, VERSION, "")),
    ("counted-commands", ["-C", "-Z", "5", "-i", "{store}"], (0, VERSION, "")),
    ("log-mask-trailing-characters", ["-X", "12ab", "-I", "-i", "{store}"],
     (0, VERSION, 'Invalid format for "-X" parameter, unprocessed characters [ab]\n')),
    ("parameter-dump-moves-stray-words", ["-X", "0x10000", "stray", "-I", "-i", "{store}", "last"],
     (0, VERSION, "\nApplication parameters:[updater]\n\t[{bin}]\n\t[-X]\n\t[0x10000]\n\t[-I]\n\t[-i]\n"
                  "\t[{store}]\n\t[stray]\n\t[last]\n")),
    ("hex-prefix-note", ["-X", "1", "-d", "0x40F5849A", "-L", "-i", "{store}"],
     (0, VERSION + "No builds found for device [40F5849A]\n",
      "Discarding '0x' serial number prefix\nListing the stored builds is not available in this build\n")),
    ("router-prefix-note", ["-X", "1", "-D", "-r", "0xD272031D", "-i", "{store}"],
     (0, VERSION + "Searching for Cindervex Network devices connected to D272031D\n"
      "Discovered Devices: (Unknown)\n    No devices found.\n",
      "Discarding '0x' router serial number prefix\nNetwork discovery is not available in this build\n")),
    ("unknown-option-ignored", ["-q", "-I", "-i", "{store}"], (0, VERSION, "")),
    ("flag-with-argument-ignored", ["-D=1", "-I", "-i", "{store}"], (0, VERSION, "")),
    ("no-clumping", ["-DU", "-I", "-i", "{store}"], (0, VERSION, "")),
    ("update-without-device", ["-U", "-i", "{store}"],
     (1, VERSION, "Must specify the specific device to be updated\n")),
    ("missing-argument-ignored", ["-U", "-i", "{store}", "-d"],
     (1, VERSION, "Must specify the specific device to be updated\n")),
    ("option-like-argument-ignored", ["-d", "-U", "-i", "{store}"],
     (1, VERSION, "Must specify the specific device to be updated\n")),
    ("glued-argument-ignored", ["-d40F5849A", "-U", "-i", "{store}"],
     (1, VERSION, "Must specify the specific device to be updated\n")),
    ("override-prefix", ["-OV", "-U", "-i", "{store}"],
     (1, VERSION, "Must specify the specific device to be updated\n")),
    ("override-too-long-ignored", ["-OVERRIDEX", "-U", "-i", "{store}"],
     (1, VERSION, "Must specify the specific device to be updated\n")),
    ("update-equals-argument", ["-U", "-d=40F5849A", "-i", "{store}"],
     (1, VERSION, "Firmware update is not available in this build\n")),
    ("update-leading-zeros", ["-U", "-d", "0000040F5849A", "-t", "TCPfoo", "-i", "{store}"],
     (1, VERSION, "Firmware update is not available in this build\n")),
    ("recover-without-device", ["-t", "RECOVER", "-U", "-s", "/dev/null", "-i", "{store}"],
     (1, VERSION, "Recovery is not available in this build\n")),
    ("get-then-update", ["-G", "-U", "-d", "40F5849A", "-G", "-i", "{store}", "-d"],
     (1, VERSION + "Retrieving firmware for device with serial number 40F5849A\nNo build specified\n"
      "Using Latest build\n", "Downloading firmware is not available in this build\n"
      "Firmware update is not available in this build\n")),
    ("get-needs-device", ["-G", "-D", "-i", "{store}"],
     (1, VERSION, "-G must specify a specific device via -d\n--help for usage information\n")),
    ("get-build-fails", ["-G", "-d", "1", "-b", "007", "-i", "{store}"],
     (1, VERSION + "Retrieving firmware for device with serial number 00000001\nRetrieving firmware build 7\n",
      "Downloading firmware is not available in this build\n")),
    ("get-build-non-digit", ["-G", "-d", "1", "-b", "abc", "-i", "{store}"],
     (1, VERSION + "Retrieving firmware for device with serial number 00000001\nRetrieving firmware build 0\n",
      "Downloading firmware is not available in this build\n")),
    ("fingerprint-needs-port", ["-N", "-D", "-i", "{store}"],
     (1, VERSION, "Must specify the serial port used for connecting\n")),
    ("fingerprint-silent", ["-N", "-s", "/dev/null", "-i", "{store}"],
     (1, VERSION, "Fingerprinting is not available in this build\nGot no response from chip\n")),
    ("discover-usb-by-default", ["-D", "-i", "{store}"],
     (0, VERSION + "Searching for Cindervex devices\nDiscovered Devices: (USB)\n    No devices found.\n",
      "Discovery is not available in this build\n")),
    ("discover-transport-prefix", ["-D", "-t", "USBX", "-i", "{store}"],
     (0, VERSION + "Searching for Cindervex devices\nDiscovered Devices: (USB)\n    No devices found.\n",
      "Discovery is not available in this build\n")),
    ("discover-tcp", ["-D", "-t", "TCP", "-i", "{store}"],
     (0, VERSION + "Searching for Cindervex devices\nDiscovered Devices: (TCPIP)\n    No devices found.\n",
      "Discovery is not available in this build\n")),
    ("list-builds-needs-device", ["-B", "-i", "{store}"],
     (1, VERSION, "Error must supply a serial number for the List Builds command\n" + SHORT)),
    ("list-local-needs-device", ["-L", "-i", "{store}"],
     (1, VERSION, "Error must supply a serial number for the List Local Builds command\n" + SHORT)),
    ("jwt-needs-device", ["-J", "-i", "{store}"],
     (1, VERSION, "Error must supply a serial number for the Get JWT command\n" + SHORT)),
    ("list-builds", ["-B", "-d", "1", "-u", "http://127.0.0.1:9/cgi/u", "-i", "{store}"],
     (0, VERSION + "No builds found for device [00000001]\n",
      "Listing the server's builds is not available in this build\n")),
    ("jwt", ["-J", "-d", "1", "-u", "http://127.0.0.1:9/cgi/u", "-i", "{store}"],
     (0, VERSION + "\n", "Fetching a JWT is not available in this build\n")),
    ("store-cannot-be-made", ["-I", "-i", "/dev/null/x"],
     (1, VERSION, "Could not find updater directory at /dev/null/x/updater\n")),
]


@pytest.mark.parametrize("args, expected", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_command_line(run_updater, tmp_path, args, expected):
    store = str(tmp_path / "store")
    fill = lambda text: text.replace("{store}", store).replace("{bin}", UPDATER)
    got = run_updater(*[fill(a) for a in args])
    code, out, err = expected
    assert (got.code, got.out, got.err) == (code, fill(out), fill(err))
    if "{store}" in args:
        assert os.path.isdir(os.path.join(store, "updater"))


NOBODY = 54321  # a user without an entry in the user database


@pytest.fixture
def nobody_home():
    """A HOME directory owned by a user that has no database entry (needs root)."""
    if os.geteuid() != 0:
        pytest.skip("needs root to run as a user without a database entry")
    path = tempfile.mkdtemp(prefix="updater-home-")
    os.chown(path, NOBODY, NOBODY)
    yield path
    shutil.rmtree(path)


def run_as_nobody(args, home, env):
    return run_updater_at(args, home, env, preexec_fn=lambda: (os.setgid(NOBODY), os.setuid(NOBODY)))


@pytest.mark.parametrize("home_value", [None, ""], ids=["home-unset", "home-empty"])
def test_unreadable_home_fails_without_touching_root(nobody_home, home_value):
    got = run_as_nobody(["-X", "0x10000", "-I"], nobody_home, {"HOME": home_value})
    assert got.code == 1
    assert got.out == VERSION
    assert got.err.endswith("\t[-I]\nUpdater: FailedqDirectory_GetHomeDirectory()==> 3\n")
    assert not os.path.exists("/.quorvel")


def test_home_from_environment_holds_the_default_store(nobody_home):
    got = run_as_nobody(["-I"], nobody_home, {})
    assert (got.code, got.out, got.err) == (0, VERSION, "")
    assert os.path.isdir(os.path.join(nobody_home, ".quorvel", "updater"))


def test_runs_with_standard_input_closed(run_updater, tmp_path):
    got = run_updater("-D", "-i", tmp_path, stdin=None, preexec_fn=lambda: os.close(0))
    assert got.code == 0
    assert got.out.startswith(VERSION + "Searching for Cindervex devices\n")
