// Dotted-name resolution, module values, calls of functions and methods, and
// the text of string objects.
#include "engine/python.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> splitName(const char* name)
{
    std::vector<std::string> parts;
    std::string part;
    for (const char* c = name; *c; ++c) {
        if (*c == '.') {
            parts.push_back(part);
            part.clear();
        } else {
            part += *c;
        }
    }
    parts.push_back(part);
    return parts;
}

// Imports a module for a lookup; a failed import leaves no error pending. A
// module that is simply absent is the lookup's "not found"; one that exists
// but fails while it loads prints why, which "not found" alone would hide.
PyObject* importForLookup(const std::string& module)
{
    PyObject* imported = PyImport_ImportModule(module.c_str());
    if (imported || !PyErr_Occurred())
        return imported;
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    bool absent = false;
    if (value && PyErr_GivenExceptionMatches(type, PyExc_ModuleNotFoundError)) {
        PyObject* missing = PyObject_GetAttrString(value, "name");
        const char* missingText = missing && PyUnicode_Check(missing) ? PyUnicode_AsUTF8(missing) : nullptr;
        absent = missingText && module == missingText;
        Py_XDECREF(missing);
        PyErr_Clear();
    }
    // Displayed rather than printed with PyErr_Print, which would end the
    // process on a SystemExit raised by the module.
    if (!absent && type)
        PyErr_Display(type, value, traceback);
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    PyErr_Clear();
    return nullptr;
}

} // namespace

PyObject* Python::pyLookup(const char* name)
{
    std::vector<std::string> parts = splitName(name);

    PyObject* object = PyDict_GetItemString(main_dict, parts[0].c_str());
    if (!object) {
        PyErr_Clear();
        PyObject* module = importForLookup(parts[0]);
        if (!module) {
            errorf("Internal error: %s not found\n", parts[0].c_str());
            return nullptr;
        }
        // sys.modules keeps the module, so the reference can be borrowed.
        Py_DECREF(module);
        object = module;
    }

    std::string path = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) {
        const char* part = parts[i].c_str();
        path += '.';
        path += parts[i];
        PyObject* dict = object;
        if (PyModule_Check(object)) {
            dict = PyModule_GetDict(object);
            if (!dict) {
                PyErr_Clear();
                errorf("Internal error: module %s lacks dictionary\n", part);
                return nullptr;
            }
        }
        PyObject* next = PyDict_Check(dict) ? PyDict_GetItemString(dict, part) : nullptr;
        if (!next && PyModule_Check(object)) {
            // A submodule that its package does not import itself.
            PyObject* module = importForLookup(path);
            if (module) {
                Py_DECREF(module);
                next = module;
            }
        }
        if (!next) {
            errorf("Internal error: %s not found\n", part);
            return nullptr;
        }
        object = next;
    }
    return object;
}

// The dictionary behind a dotted path: a module's own or a dictionary value.
PyObject* Python::containerDict(PyObject* object, const char* path)
{
    if (!object) {
        errorf("Internal error: %s not found\n", path);
        return nullptr;
    }
    if (PyModule_Check(object)) {
        object = PyModule_GetDict(object);
        if (!object) {
            PyErr_Clear();
            errorf("Internal error: module %s lacks dictionary\n", path);
            return nullptr;
        }
    }
    if (!PyDict_Check(object)) {
        errorf("Internal error: %s is neither module nor dictionary\n", path);
        return nullptr;
    }
    return object;
}

void Python::pyAssign(const char* path, const char* name, PyObject* value)
{
    PyObject* target = containerDict(pyLookup(path), path);
    if (!target)
        return;
    if (!value || PyDict_SetItemString(target, name, value) == -1) {
        if (PyErr_Occurred())
            handleException();
        else
            errorf("Internal error: cannot assign %s.%s\n", path, name);
    }
}

int Python::pyAssignGlobal(const char* name, PyObject* value)
{
    if (!value) {
        errorf("Internal error: cannot assign %s\n", name);
        return -1;
    }
    int result = PyDict_SetItemString(main_dict, name, value);
    if (result == -1 && PyErr_Occurred())
        handleException();
    return result;
}

PyObject* Python::pyValue(const char* path, const char* name)
{
    PyObject* dict = containerDict(pyLookup(path), path);
    if (!dict)
        return nullptr;
    return PyDict_GetItemString(dict, name);
}

long Python::pyVersion()
{
    PyObject* version = pyValue("sys", "hexversion");
    if (!version)
        return 0;
    long result = PyLong_AsLong(version);
    if (result == -1 && PyErr_Occurred()) {
        handleException();
        return 0;
    }
    return result;
}

PyObject* Python::callWith(PyObject* callable, const char* format, va_list args)
{
    PyObject* arguments = format && *format ? Py_VaBuildValue(format, args) : PyTuple_New(0);
    if (arguments && !PyTuple_Check(arguments)) {
        // A format without parentheses gives the one argument itself.
        PyObject* single = arguments;
        arguments = PyTuple_Pack(1, single);
        Py_DECREF(single);
    }
    if (!arguments) {
        if (PyErr_Occurred())
            handleException();
        return nullptr;
    }
    PyObject* result = PyObject_Call(callable, arguments, nullptr);
    Py_DECREF(arguments);
    if (!result && PyErr_Occurred())
        handleException();
    return result;
}

PyObject* Python::pyMethodCall(PyObject* self, const char* method, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    PyObject* result = pyVMethodCall(self, method, format, args);
    va_end(args);
    return result;
}

PyObject* Python::pyVMethodCall(PyObject* self, const char* method, const char* format, va_list args)
{
    if (!self) {
        errorf("Internal error: method %s call attemped with NULL self\n", method);
        return nullptr;
    }
    PyRef callable(PyObject_GetAttrString(self, method));
    if (!callable) {
        if (pendingExpected()) {
            exceptionExpected();
        } else if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
            PyErr_Clear();
            errorf("Internal error: method %s not found\n", method);
        } else {
            // The object's own attribute code failed: its traceback says more.
            exceptionError();
        }
        return nullptr;
    }
    if (!PyCallable_Check(callable.get())) {
        errorf("Internal error: method %s not callable\n", method);
        return nullptr;
    }
    return callWith(callable.get(), format, args);
}

PyObject* Python::pyCall(const char* path, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    PyObject* result = pyVCall(path, format, args);
    va_end(args);
    return result;
}

PyObject* Python::pyVCall(const char* path, const char* format, va_list args)
{
    PyObject* callable = pyLookup(path);
    if (!callable) {
        errorf("Internal error: %s not found\n", path);
        return nullptr;
    }
    if (!PyCallable_Check(callable)) {
        errorf("Internal error: %s not callable\n", path);
        return nullptr;
    }
    // Held for the call, which may rebind the name it was found under.
    Py_INCREF(callable);
    PyObject* result = callWith(callable, format, args);
    Py_DECREF(callable);
    return result;
}

const char* Python::pyString(PyObject* object)
{
    if (!object) {
        error("Internal error: pyString passed NULL python object\n");
        return nullptr;
    }
    if (object == Py_None)
        return nullptr;
    if (PyBytes_Check(object))
        return PyBytes_AsString(object);
    const char* text = PyUnicode_AsUTF8(object);
    if (!text && PyErr_Occurred())
        handleException();
    return text;
}
