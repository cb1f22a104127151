"""The count every end-to-end script keeps: a line per check, "[ ok ] name" or "[FAIL] name detail", and
a last line "NAME: N passed, N failed" that scripts/test adds up."""
import sys

passed = failed = 0


def check(name, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
        print(f"[ ok ] {name}", flush=True)
    else:
        failed += 1
        print(f"[FAIL] {name} {detail}", flush=True)


def finish(name, code=None):
    """Prints the last line and exits: with `code` when given, else 1 when a check failed."""
    print(f"{name}: {passed} passed, {failed} failed", flush=True)
    sys.exit(code if code is not None else 1 if failed else 0)
