# The companion script of KUV. The program runs it at start-up, creates one
# YumIO object and calls its methods for every yum operation; the script calls
# back through the module yumIOC, which the program registers before running
# it. The yum package beside this file is a yum compatible layer over dnf and
# rpm.
#
# yumIOC tells where yum's files are: `configroot`, the folder that stands
# for "/" ("" for an installed system), and `yumconf`, the yum.conf to read.
# The same yum.conf as the program's is read, never dnf's own configuration.

import os
import sys


def _ownFolder():
    """The folder of this script, which holds the yum package.

    The program runs the script under the bare name "YumIO.py", so __file__
    does not tell the folder; the share directory (KUVSHARE) does."""
    candidates = []
    share = os.environ.get("KUVSHARE")
    if share:
        candidates.append(os.path.join(share, "python"))
    here = globals().get("__file__")
    if here and os.path.isabs(here):
        candidates.append(os.path.dirname(here))
    candidates.append("/usr/share/kuv/python")
    for folder in candidates:
        if os.path.isfile(os.path.join(folder, "yum", "__init__.py")):
            return folder
    return None


_folder = _ownFolder()
if _folder is not None and _folder not in sys.path:
    sys.path.insert(0, _folder)

import rpm  # noqa: E402,F401  (part of the script's interface beside yum)
import yum  # noqa: E402
import yum.Errors  # noqa: E402
import yum.config  # noqa: E402
import yumIOC  # noqa: E402


def _configuration():
    """(configuration root, yum.conf path) as the program decided them."""
    root = getattr(yumIOC, "configroot", "") or ""
    path = getattr(yumIOC, "yumconf", "") or yum.config.yumConfPath(root.rstrip("/"))
    return root, path


class YumIO(yum.YumBase):
    """The object the program drives. A fresh one replaces it before every
    new collection; yum's lock belongs to the process and survives that."""

    def __init__(self):
        yum.YumBase.__init__(self)
        root, path = _configuration()
        try:
            self.doConfigSetup(path, root)
        except yum.Errors.YumBaseError as error:
            # The program expects a failed start as SystemExit.
            raise SystemExit("%s" % error) from None

    def lock(self):
        self.doLock()

    def unlock(self):
        self.doUnlock()

    def setupRepos(self):
        self.doRepoSetup()

    def setupTs(self):
        self.doTsSetup()

    def usesPresto(self):
        # Delta rpms are switched off: applydeltarpm cannot rebuild here.
        return False


def usesSqlite():
    # Repository metadata is converted into a cache of its own before it is
    # read (dnf's solv files), as yum converted it into sqlite.
    return True
