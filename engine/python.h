// Python: the wrapper of the embedded interpreter that the engine drives yum
// through. It starts and stops the one interpreter of the process, resolves
// dotted names, reads and assigns module values, calls functions and methods,
// runs source text, and sends every interpreter error through one decision:
// did the caller declare this exception as expected, or is it an internal
// error? Python::PyGILStateWrapper is the scoped guard of the interpreter lock,
// Python::PyRef the scoped holder of one interpreter reference.
#pragma once

// The interpreter's header must come before the C library's, and it names a
// structure field "slots", which Qt defines away.
#define PY_SSIZE_T_CLEAN
#pragma push_macro("slots")
#undef slots
#include <Python.h>
#pragma pop_macro("slots")

#include <cstdarg>

#include <QList>
#include <QStack>
#include <QtGlobal>

// The reporting operations error and warning are left to the class that
// derives from Python (the engine), which logs and shows them; every text
// given to them here starts with "Internal error: " and ends in a newline.
//
// References: pyMethodCall, pyCall, pyr and pyExceptValue(f) give new
// references that the caller releases; pyLookup and pyValue give borrowed
// ones. Every operation except initialize and the guard expects the caller to
// hold the interpreter lock. Built-in exception types live in the module
// "builtins" ("builtins.SystemExit", "builtins.KeyError").
class Python
{
public:
    // Scoped guard of the interpreter lock. Built with false it does nothing,
    // for callers that may or may not need the lock. A caller that must wait
    // for another thread that uses the interpreter lets the lock go with
    // release() and takes it again with ensure().
    class PyGILStateWrapper
    {
    public:
        explicit PyGILStateWrapper(bool active);
        ~PyGILStateWrapper();
        void ensure();
        void release();

    private:
        PyGILStateWrapper(const PyGILStateWrapper&) = delete;
        PyGILStateWrapper& operator=(const PyGILStateWrapper&) = delete;

        bool active;
        PyGILState_STATE state;
        // Whether this guard holds the lock now, so that a release without
        // a later ensure does not give the lock back twice.
        bool held;
    };

    // Keeps the interpreter's cyclic garbage collector off for a scope, and
    // puts back the state it found: for work that makes tens of thousands of
    // objects that all live on, which the collector would walk again and
    // again while they are made. The interpreter lock is held throughout.
    class CollectorPause
    {
    public:
        CollectorPause() : wasOn(PyGC_Disable() == 1) {}
        ~CollectorPause()
        {
            if (wasOn)
                PyGC_Enable();
        }

    private:
        CollectorPause(const CollectorPause&) = delete;
        CollectorPause& operator=(const CollectorPause&) = delete;

        bool wasOn;
    };

    // Owns one new reference and gives it back when it ends, so that every
    // way out of a function releases what it took. It must end while the
    // interpreter lock is held: declare it after the lock guard.
    class PyRef
    {
    public:
        explicit PyRef(PyObject* object = nullptr) : object(object) {}
        ~PyRef() { Py_XDECREF(object); }

        PyObject* get() const { return object; }
        explicit operator bool() const { return object != nullptr; }
        // Neither null nor None.
        bool holds() const { return object && object != Py_None; }
        // Takes over a new reference, giving back the one held before.
        void reset(PyObject* next = nullptr)
        {
            PyObject* previous = object;
            object = next;
            Py_XDECREF(previous);
        }
        // Hands the reference to the caller, who owns it from now on.
        PyObject* release()
        {
            PyObject* released = object;
            object = nullptr;
            return released;
        }

    private:
        Q_DISABLE_COPY_MOVE(PyRef)

        PyObject* object;
    };

    Python();
    virtual ~Python();

    // Starts the interpreter on the first call; later calls return true at
    // once. Afterwards nobody holds the interpreter lock.
    bool initialize();

    PyObject* pyLookup(const char* name);
    void pyAssign(const char* path, const char* name, PyObject* value);
    int pyAssignGlobal(const char* name, PyObject* value);
    PyObject* pyValue(const char* path, const char* name);
    long pyVersion();

    // Formats are Py_BuildValue's, parenthesised ("()" for no arguments).
    PyObject* pyMethodCall(PyObject* self, const char* method, const char* format, ...);
    PyObject* pyVMethodCall(PyObject* self, const char* method, const char* format, va_list args);
    PyObject* pyCall(const char* path, const char* format, ...);
    PyObject* pyVCall(const char* path, const char* format, va_list args);

    PyObject* pyExceptValue();
    PyObject* pyExceptValuef();

    // The UTF-8 text of a str (or the bytes of a bytes object), owned by the
    // object; null for null, None and what cannot be converted.
    const char* pyString(PyObject* object);

    // pyr evaluates an expression, py runs statements, both in __main__;
    // pyrf and pyf format the code with printf rules first, whatever its
    // length. py and pyf return whether the code ran without an exception.
    PyObject* pyr(const char* code);
    bool py(const char* code);
    PyObject* pyrf(const char* format, ...) Q_ATTRIBUTE_FORMAT_PRINTF(2, 3);
    bool pyf(const char* format, ...) Q_ATTRIBUTE_FORMAT_PRINTF(2, 3);

    // Main thread only: the interpreter's own SIGINT handler (interrupt
    // raises KeyboardInterrupt in the script) or the default action (an
    // interrupt from the terminal ends the process).
    void setEnablePythonSIGINTHandler(bool enable);

    // Development aid: stops in pdb with the object as the global "dbg".
    void pyDebug(PyObject* object);

    // Registers a built-in module after start-up, under def's name in
    // sys.modules, so that the scripts can import it. def must outlive the
    // interpreter.
    bool pyRegisterModule(PyModuleDef* def);

    // Expected-exception scopes: declare the types a call may raise, make
    // the call, test the outcome with pyExceptMatches, close the scope on
    // every path.
    virtual void pyExceptStart();
    virtual void pyExceptExpect(PyObject* exceptionType);
    virtual void pyExceptClear();
    virtual bool pyExceptMatches(PyObject* result, PyObject* exceptionType);

    virtual void error(const char* text) = 0;
    virtual void warning(const char* text) = 0;

    // Called with an interpreter error pending: leaves an expected one for
    // the caller's pyExceptMatches, reports any other.
    virtual void handleException();
    virtual void exceptionExpected();
    virtual void exceptionError();
    // Writes the traceback of an undeclared exception before exceptionError
    // reports it. The exception is fetched, normalised and no longer pending;
    // type is never null, value and traceback may be, all three borrowed.
    // This one prints it to the interpreter's sys.stderr.
    virtual void writeTraceback(PyObject* type, PyObject* value, PyObject* traceback);

    static bool initialized;
    static PyObject* main_dict;

private:
    Python(const Python&) = delete;
    Python& operator=(const Python&) = delete;

    void errorf(const char* format, ...) Q_ATTRIBUTE_FORMAT_PRINTF(2, 3);
    bool pendingExpected() const;
    PyObject* containerDict(PyObject* object, const char* name);
    PyObject* callWith(PyObject* callable, const char* format, va_list args);

    // The innermost open scope's list of expected types is on top; the types
    // are borrowed.
    QStack<QList<PyObject*>> exceptStack;
};
