// The built-in module yumIOC through which the companion script calls back
// into the engine: twenty functions, each a thin entry that forwards to the
// engine method of the same name on the one remembered engine.
#pragma once

#include "engine/python.h"

class YumIO;

class YumIOC
{
public:
    // Remembers the engine as the target of the callbacks, and registers the
    // module unless the interpreter has it already. Interpreter lock held.
    // False when the module could not be registered (reported).
    static bool initialize(YumIO* engine);
    // Callbacks that arrive afterwards (the interpreter ending, a stray
    // thread) do nothing. Only forgets the engine it is given.
    static void forget(YumIO* engine);
    static YumIO* engine();

    YumIOC() = delete;

private:
    typedef PyObject* (YumIO::*Callback)(PyObject* self, PyObject* args);

    template <Callback handler>
    static PyObject* forward(PyObject* self, PyObject* args);

    static PyModuleDef* moduleDef();
};
