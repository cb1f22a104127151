"""What the corpus generators share: the command line (OUT [--scale X]), refusing to write over a corpus
that is there, and the manifest written last, whose presence means the corpus is complete."""
import json
import os
import sys
import time


def write_manifest(out, manifest):
    partial = os.path.join(out, "manifest.json.partial")
    with open(partial, "w") as f:
        json.dump(manifest, f, indent=2)
    os.rename(partial, os.path.join(out, "manifest.json"))


def main(program, folder, generate, summary):
    """Runs generate(out, scale), which writes OUT/folder and returns the manifest; prints summary(manifest)
    and the time taken."""
    args = sys.argv[1:]
    scale = 1.0
    if "--scale" in args:
        i = args.index("--scale")
        scale = float(args[i + 1])
        del args[i:i + 2]
    if len(args) != 1:
        sys.exit("usage: %s OUT [--scale X]" % program)
    out = args[0]
    os.makedirs(out, exist_ok=True)
    if os.path.exists(os.path.join(out, folder)):
        sys.exit("%s: %s/%s exists already" % (program, out, folder))
    started = time.monotonic()
    manifest = generate(out, scale)
    print("%s, in %.0f s" % (summary(manifest), time.monotonic() - started), file=sys.stderr)
