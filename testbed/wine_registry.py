"""A Wine prefix's registry as Wine saves it on disk (system.reg, user.reg), read without starting
Wine: the values of one key, and the environment a new process of the prefix's user gets."""
import os
import re

SESSION_ENVIRONMENT = r"System\CurrentControlSet\Control\Session Manager\Environment"
PROFILE_LIST = r"Software\Microsoft\Windows NT\CurrentVersion\ProfileList"
USER_ENVIRONMENT = "Environment"

_KEY = re.compile(r'^\[(.*)\](?: \d+)?$')
_VALUE = re.compile(r'^"((?:[^"\\]|\\.)*)"=(?:str\(\d\):)?"((?:[^"\\]|\\.)*)"$')
_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "0": "\0"}


def _unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c != "\\" or i + 1 == len(text):
            out.append(c)
            i += 1
            continue
        nxt = text[i + 1]
        if nxt == "x":
            digits = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:])
            if digits:
                out.append(chr(int(digits.group(0), 16)))
                i += 2 + len(digits.group(0))
                continue
        out.append(_ESCAPES.get(nxt, nxt))
        i += 2
    return "".join(out)


def read_keys(path):
    """{key path (as in the file, backslashes single): {value name (lower case): text}} for the
    string values of every key in a .reg file Wine saved; other value types are left out."""
    keys, current = {}, None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\r\n")
            key = _KEY.match(line)
            if key:
                current = keys.setdefault(_unescape(key.group(1)).lower(), {})
                continue
            value = _VALUE.match(line)
            if value and current is not None:
                current[_unescape(value.group(1)).lower()] = _unescape(value.group(2))
    return keys


def user_sid(user_reg):
    """The user's SID from the header line Wine writes: ';; All keys relative to ...\\S-1-...'."""
    with open(user_reg, encoding="utf-8", errors="replace") as f:
        for line in f:
            found = re.match(r"^;; All keys relative to .*\\\\(S-[0-9-]+)\s*$", line)
            if found:
                return found.group(1)
            if line.startswith("["):
                break
    return None


def expand(text, variables):
    """%NAME% replaced by its value (names compare without case); unknown names stay."""
    for _ in range(8):  # values may refer to values that refer to others
        expanded = re.sub(r"%([^%]+)%", lambda m: variables.get(m.group(1).lower(), m.group(0)), text)
        if expanded == text:
            break
        text = expanded
    return text


def user_environment(prefix):
    """{name (lower case): value} for the variables the registry gives the prefix's user: the
    system's, the user's profile folder, then the user's own, each expanded. The system folder,
    which Wine sets outside the registry, is C:\\windows unless the registry says otherwise."""
    system = read_keys(os.path.join(prefix, "system.reg"))
    user_reg = os.path.join(prefix, "user.reg")
    user = read_keys(user_reg)
    raw = {"systemdrive": "C:", "systemroot": r"C:\windows", "windir": r"C:\windows"}
    raw.update(system.get(SESSION_ENVIRONMENT.lower(), {}))
    sid = user_sid(user_reg)
    profile = system.get((PROFILE_LIST + "\\" + sid).lower(), {}) if sid else {}
    if "profileimagepath" in profile:
        raw["userprofile"] = profile["profileimagepath"]
    raw.update(user.get(USER_ENVIRONMENT.lower(), {}))
    return {name: expand(value, raw) for name, value in raw.items()}
