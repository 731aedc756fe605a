"""A speech-dispatcher configuration whose only output module writes every text it is given
to a file, and the reading of that file."""

import os
import re
import time

SPEECHD_CONF = """\
LogLevel 3
Timeout 0
DefaultVolume 100
DefaultRate 0
DefaultLanguage "en"
SymbolsPreproc "no"
AddModule "recorder" "sd_generic" "recorder.conf"
DefaultModule recorder
LanguageDefaultModule "en" "recorder"
AudioOutputMethod "alsa"
AudioALSADevice "null"
"""

# The generic module substitutes only the first $DATA, hence T=; rate and volume arrive
# normalised to -1..1, hence the x100. SPD_REC_SLEEP makes a text take time, so that an
# interrupted text shows as a START line without its END line.
RECORDER_CONF = """\
GenericExecuteSynth \\
"T=\\'$DATA\\'; printf 'START rate=%s vol=%s text=%s\\\\n' '$RATE' '$VOLUME' \\"$T\\" >> ${SPD_REC_FILE}; sleep ${SPD_REC_SLEEP:-0}; printf 'END %s\\\\n' \\"$T\\" >> ${SPD_REC_FILE}"
GenericMaxChunkLength 100000
GenericRateAdd 0
GenericRateMultiply 100
GenericRateForceInteger 1
GenericVolumeAdd 0
GenericVolumeMultiply 100
GenericVolumeForceInteger 1
AddVoice "en" "MALE1" "en-us"
DefaultVoice "en-us"
GenericLanguage "en" "en" "utf-8"
GenericLanguage "c" "en" "utf-8"
GenericDelimiters "\x1f"
"""


def write_config(folder):
    """Writes the configuration under folder; returns (config dir, recording file)."""
    os.makedirs(os.path.join(folder, "modules"), exist_ok=True)
    with open(os.path.join(folder, "speechd.conf"), "w") as f:
        f.write(SPEECHD_CONF)
    with open(os.path.join(folder, "modules", "recorder.conf"), "w") as f:
        f.write(RECORDER_CONF)
    rec_file = os.path.join(folder, "spoken.txt")
    open(rec_file, "w").close()
    return folder, rec_file


class Utterance:
    def __init__(self, rate, volume, text, seen_at):
        self.rate, self.volume, self.text, self.seen_at = rate, volume, text, seen_at
        self.finished = False

    def __repr__(self):
        end = "" if self.finished else " (cut off)"
        return f"<rate={self.rate} {self.text!r}{end}>"


_START = re.compile(r"^START rate=(-?\d+) vol=(-?\d+) text=(.*)$")


class Recording:
    """Reads the recording file as it grows; texts are kept in arrival order."""

    def __init__(self, path):
        self.path = path
        self._offset = 0
        self._partial = b""
        self.utterances = []

    def poll(self):
        with open(self.path, "rb") as f:
            f.seek(self._offset)
            data = f.read()
        if not data:
            return self.utterances
        now = time.monotonic()
        self._offset += len(data)
        lines = (self._partial + data).split(b"\n")
        self._partial = lines.pop()
        for raw in lines:
            line = raw.decode("utf-8", errors="replace")
            start = _START.match(line)
            if start:
                self.utterances.append(Utterance(int(start[1]), int(start[2]), start[3], now))
            elif line.startswith("END "):
                text = line[4:]
                for u in reversed(self.utterances):
                    if u.text == text and not u.finished:
                        u.finished = True
                        break
        return self.utterances

    def count(self):
        return len(self.poll())

    def texts(self, since=0):
        return [u.text for u in self.poll()[since:]]

    def wait_for_count(self, count, timeout=10):
        deadline = time.monotonic() + timeout
        while len(self.poll()) < count:
            if time.monotonic() > deadline:
                raise AssertionError(
                    f"speech-dispatcher received {len(self.utterances)} texts, expected at "
                    f"least {count} within {timeout} s: {self.texts()}")
            time.sleep(0.005)
        return self.utterances[count - 1]

    def wait_for_next(self, since, timeout=10):
        """The first text to arrive at index `since` or later."""
        return self.wait_for_count(since + 1, timeout)

    def quiet_for(self, seconds, since):
        """Asserts nothing new arrives for `seconds`."""
        time.sleep(seconds)
        extra = self.texts(since)
        if extra:
            raise AssertionError(f"expected silence, speech-dispatcher received {extra}")
