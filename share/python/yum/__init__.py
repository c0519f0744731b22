# A yum compatible layer over dnf 4 and rpm 4.18, for the companion script of
# KUV. Only what the script uses is here; yum's exception types are in
# yum.Errors, and no dnf, hawkey or rpm exception leaves the layer
# (yum.translate).
#
# The version is that of the last yum 3 release, whose behaviours dnf can
# honour: repository metadata is read one repository after another, the
# dependency check runs its test transaction without reporting it, metadata
# is kept in a converted (not pickled) cache, and groups are objects of their
# own with user_visible, installed and per-kind package dicts.
#
# base (YumBase), packages (package objects), comps (groups),
# transactioninfo (tsInfo), cleaning (the cache), config and repos (the
# configuration), lock (the process lock). dnfprivate is the one way to
# the names of dnf that are not public, with what breaks if dnf changes them.
# README-layer.md describes every object the program reads.

__version__ = "3.4.3"

from yum.base import YumBase, INSTALLED_REPO  # noqa: E402,F401
