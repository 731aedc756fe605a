#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts Debian's Orca under its own process name, as /usr/bin/orca runs. Orca's start-up check
# ends every process named orca of the user, other sessions' included: here it sees none.
import ctypes
import importlib.machinery
import importlib.util
import sys

ctypes.CDLL(None).prctl(15, b"orca", 0, 0, 0)  # PR_SET_NAME
loader = importlib.machinery.SourceFileLoader("orca_command", "/usr/bin/orca")
orca_command = importlib.util.module_from_spec(
    importlib.util.spec_from_loader("orca_command", loader)
)
loader.exec_module(orca_command)
orca_command.otherOrcas = lambda: []
sys.exit(orca_command.main())
