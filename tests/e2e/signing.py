"""Throw-away code-signing certificates for the tests: a root, leaves issued by it, Authenticode
signatures made with them, and the root made trusted in the Wine prefix as Windows keeps it."""
import hashlib
import os
import re
import struct
import subprocess

from desktop import run


def openssl(*arguments):
    return run("openssl", *arguments, check_rc=True)


def make_signer(folder, name, root=None):
    """A code-signing certificate for `name`, issued by `root` (a pair of files), or a new root with one
    when none is given. Returns the root, the leaf's chain (leaf and root) and the leaf's key. Leaves are
    signed with SHA-1: Wine 8 checks the chain only then."""
    os.makedirs(folder, exist_ok=True)
    pem, key = (os.path.join(folder, f) for f in ("root.pem", "root.key"))
    if root is None:
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem, "-days", "30",
                "-subj", "/CN=Spadrim Test Root", "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign")
        root = (pem, key)
    extensions = os.path.join(folder, "leaf.cnf")
    with open(extensions, "w") as f:
        f.write("[leaf]\nbasicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=codeSigning\n")
    leaf, leaf_key, request = (os.path.join(folder, name + e) for e in (".pem", ".key", ".csr"))
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", leaf_key, "-out", request, "-subj", "/CN=" + name)
    openssl("x509", "-req", "-in", request, "-CA", root[0], "-CAkey", root[1], "-CAcreateserial", "-out", leaf,
            "-days", "30", "-sha1", "-extfile", extensions, "-extensions", "leaf")
    chain = os.path.join(folder, name + "-chain.pem")
    with open(chain, "w") as f:
        f.write(open(leaf).read() + open(root[0]).read())
    return root, chain, leaf_key


def pkcs12(chain, key, target, password):
    """The leaf, its key and its root in one PKCS#12 file, as a certificate authority hands them out."""
    openssl("pkcs12", "-export", "-in", chain, "-inkey", key, "-out", target, "-passout", "pass:" + password)
    return target


def sign(source, chain, key, target):
    run("osslsigncode", "sign", "-certs", chain, "-key", key, "-h", "sha256", "-in", source, "-out", target,
        check_rc=True)
    return target


def signer_of(path, root_pem):
    """The common name of the signer osslsigncode verifies `path` against `root_pem` as, or None."""
    verified = run("osslsigncode", "verify", "-CAfile", root_pem, "-in", path)
    if verified.returncode != 0:
        return None
    # The first signer listed is the signature's own; its subject reads "/CN=NAME".
    found = re.search(r"^\s*Signer #0:\s*\n\s*Subject: .*?CN=([^/\n]+)", verified.stdout, re.M)
    return found.group(1).strip() if found else None


def trust(pem):
    """Makes a root trusted by the user, as Windows keeps it: the certificate's serialized properties
    under a key named by its SHA-1 thumbprint. Returns the key."""
    der = subprocess.run(["openssl", "x509", "-in", pem, "-outform", "DER"], capture_output=True, check=True).stdout
    key = r"HKCU\Software\Microsoft\SystemCertificates\Root\Certificates\%s" % hashlib.sha1(der).hexdigest().upper()
    blob = struct.pack("<III", 32, 1, len(der)) + der  # CERT_CERT_PROP_ID, reserved, length, the certificate
    run("wine", "reg", "add", key, "/v", "Blob", "/t", "REG_BINARY", "/d", blob.hex(), "/f")
    return key
