# Stand-in for the built-in module yumIOC that the program registers before
# it runs the companion script: the tests of the script and its yum layer
# import this one instead. It carries what the program sets on the module;
# layertest.useConfigRoot points it at a sandbox.

configroot = ""
yumconf = ""
