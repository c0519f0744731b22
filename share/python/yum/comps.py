# yum's package groups over dnf's comps: one object per group with its own
# attributes (groupid, name, user_visible, installed, and a dictionary per
# kind of member), the shape yum offered from 2.5 on.
#
# dnf knows which groups are installed only from its own history, which the
# packages of an installroot need not have; a group counts as installed by
# yum's rule instead: all its mandatory packages are installed, or, when it
# has none, any of its packages is.


class MemberDict(dict):
    """Package name -> 1 (or, for conditional members, the package whose
    installation brings them). keys(), values() and items() are lists, as
    yum's were, so that their results can be joined with "+"."""

    def keys(self):
        return list(dict.keys(self))

    def values(self):
        return list(dict.values(self))

    def items(self):
        return list(dict.items(self))


class Group(object):
    """One comps group."""

    def __init__(self, dnfGroup, installedNames):
        self.groupid = dnfGroup.id
        self.name = dnfGroup.name
        self.ui_name = dnfGroup.ui_name
        self.description = dnfGroup.ui_description or ""
        self.user_visible = bool(dnfGroup.visible)
        self.mandatory_packages = MemberDict((p.name, 1) for p in dnfGroup.mandatory_packages)
        self.default_packages = MemberDict((p.name, 1) for p in dnfGroup.default_packages)
        self.optional_packages = MemberDict((p.name, 1) for p in dnfGroup.optional_packages)
        self.conditional_packages = MemberDict(
            (p.name, getattr(p, "requires", None) or "") for p in dnfGroup.conditional_packages)
        self.installed = self._installedBy(installedNames)

    def _installedBy(self, installedNames):
        if self.mandatory_packages:
            return all(name in installedNames for name in self.mandatory_packages)
        return any(name in installedNames for name in self.packages)

    @property
    def packages(self):
        """Every member's name, mandatory ones first."""
        names = []
        for members in (self.mandatory_packages, self.default_packages,
                        self.optional_packages, self.conditional_packages):
            names += [name for name in members.keys() if name not in names]
        return names

    def __str__(self):
        return self.name

    def __repr__(self):
        return "<Group %s%s>" % (self.groupid, " installed" if self.installed else "")


class Comps(object):
    """The groups of the enabled repositories, in dnf's order."""

    def __init__(self, groups):
        self.groups = list(groups)

    def return_group(self, groupid):
        for group in self.groups:
            if groupid in (group.groupid, group.name, group.ui_name):
                return group
        return None

    def get_groups(self):
        return list(self.groups)
