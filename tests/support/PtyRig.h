#pragma once

#include "Pty.h"
#include "ScriptedDialogs.h"
#include "serial/SerialComm.h"
#include "window/Form1.h"

// A loaded window whose COM 1 is a pseudo-terminal: the test plays the balance
// on `pty`.
struct PtyRig {
    Pty pty;
    ondril::SerialComm comm{ondril::PortMap::fromList(pty.path())};
    ScriptedDialogs dialogs;
    ondril::Form1 form{&comm, &dialogs};
    bool loaded = form.Form_Load();
};
