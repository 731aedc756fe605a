"""Expected file contents and small assertion helpers shared by the cases."""

CRLF = b"\r\n"


def number_line(value):
    """A number as the program writes it into its files."""
    return (f" {value} " if value >= 0 else f"{value} ").encode()


def settings_bytes(route, rate, location, spare=b""):
    lines = [number_line(route), number_line(rate), spare, location.encode("utf-8")]
    lines += [b""] * 9
    return b"".join(line + CRLF for line in lines)


STARTUP_LOG = ["Starting program", "Loading JAWS Api", "Version is 0.3b", "Sapi is set to 0",
               "Loading settings/progress", "Adding to System Tray", "Load finished."]


def check_startup_log(data, screen_reader_found):
    assert data.endswith(CRLF), f"log does not end with CR LF: {data!r}"
    lines = data.decode("utf-8").split("\r\n")[:-1]
    if screen_reader_found:
        assert lines == STARTUP_LOG, f"start-up log {lines}"
        return None
    assert len(lines) == 8, f"start-up log {lines}"
    error = lines.pop(2)
    assert lines == STARTUP_LOG, f"start-up log {lines}"
    assert error.startswith("error: ") and len(error) > len("error: "), error
    return error


def eq(actual, expected, what):
    assert actual == expected, f"{what}: got {actual!r}, expected {expected!r}"
