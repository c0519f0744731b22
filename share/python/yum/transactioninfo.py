# yum's view of a resolved transaction (`tsInfo`): one member per package
# that the transaction installs, updates, removes or obsoletes, sorted into
# yum's seven lists by makelists(). The lists are made from dnf's resolved
# transaction and the packages the caller asked for: what was asked for
# goes into installed, updated and removed, what dependency solving added
# into depinstalled, depupdated and depremoved.

# yum's transaction states, also its codes for the transaction events.
TS_UPDATE = 10
TS_INSTALL = 20
TS_TRUEINSTALL = 30
TS_ERASE = 40
TS_OBSOLETED = 50
TS_OBSOLETING = 60
TS_AVAILABLE = 70
TS_UPDATED = 90
TS_FAILED = 100

# The seven lists in the order yum's makelists() gave them.
LISTS = ("updated", "installed", "removed", "obsoleted", "depupdated", "depinstalled",
         "depremoved")


class TransactionMember(object):
    """One package of the transaction. `relatedto` holds (package, relation)
    pairs: "updates" for the installed version an update replaces,
    "obsoletedby" for the package that obsoletes an obsoleted one,
    "obsoletes" for the packages an installed one obsoletes."""

    def __init__(self, po, output_state, isDep):
        self.po = po
        self.output_state = output_state
        self.isDep = isDep
        self.relatedto = []
        self.name = po.name
        self.arch = po.arch
        self.epoch = po.epoch
        self.version = po.version
        self.release = po.release
        self.pkgtup = po.pkgtup
        self.repoid = po.repoid

    @property
    def ts_state(self):
        if self.output_state in (TS_ERASE, TS_OBSOLETED, TS_UPDATED):
            return "e"
        return "u" if self.output_state == TS_UPDATE else "i"

    def relatedTo(self, relation):
        return [po for po, name in self.relatedto if name == relation]

    def localPkg(self):
        return self.po.localPkg()

    def localHdr(self):
        return self.po.localHdr()

    def __str__(self):
        return str(self.po)

    def __repr__(self):
        return "<TransactionMember %s state %d%s>" % (self.po, self.output_state,
                                                      " dep" if self.isDep else "")


class TransactionData(object):
    """The members of one resolved transaction, in dnf's order."""

    def __init__(self, members=()):
        self._members = list(members)
        for name in LISTS:
            setattr(self, name, [])
        self.makelists()

    def add(self, member):
        self._members.append(member)

    def getMembers(self, pkgtup=None):
        if pkgtup is None:
            return list(self._members)
        return [m for m in self._members if m.pkgtup == pkgtup]

    def __iter__(self):
        return iter(list(self._members))

    def __len__(self):
        return len(self._members)

    def makelists(self):
        """Sorts the members into yum's seven lists (attributes of this
        object); returns nothing, as yum 3 did."""
        lists = dict((name, []) for name in LISTS)
        for member in self._members:
            state = member.output_state
            if state == TS_OBSOLETED:
                lists["obsoleted"].append(member)
            elif state == TS_UPDATE:
                lists["depupdated" if member.isDep else "updated"].append(member)
            elif state in (TS_INSTALL, TS_TRUEINSTALL, TS_OBSOLETING):
                lists["depinstalled" if member.isDep else "installed"].append(member)
            elif state == TS_ERASE:
                lists["depremoved" if member.isDep else "removed"].append(member)
            # TS_UPDATED: the old version of an update is not listed, as in yum.
        for name in LISTS:
            setattr(self, name, lists[name])
        return None
