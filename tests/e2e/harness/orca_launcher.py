#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts Debian's Orca with its options. Orca's start-up check ends every process named orca of
# the user, other sessions' included: here it sees none.
import importlib.machinery
import importlib.util
import sys

loader = importlib.machinery.SourceFileLoader("orca_command", "/usr/bin/orca")
orca_command = importlib.util.module_from_spec(
    importlib.util.spec_from_loader("orca_command", loader))
loader.exec_module(orca_command)
orca_command.otherOrcas = lambda: []
sys.exit(orca_command.main())
