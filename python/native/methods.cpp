// The functions of varnok._native. Each is declared in a header of its own; adding one
// is that header, its source and one line here.
#include "methods.hpp"

#include "fields.hpp"
#include "writer.hpp"

namespace varnok::native {

PyMethodDef kMethods[] = {
    {"field_names", field_names, METH_NOARGS, "The core's document fields: (key, name, kind, required)."},
    {"write_documents", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(write_documents)), METH_FASTCALL,
     "The statement writer's hot loop; None when the Python writer must take over."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace varnok::native
