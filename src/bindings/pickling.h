// Pickling and deep copies through the versioned byte forms, and the refusal
// of objects that hold threads or files.
#pragma once

#include <string>

#include "bindings/bindings.h"

namespace velorin::bindings {

// __getstate__ gives the byte form (its version inside), __setstate__ builds a
// new object from it; copy.deepcopy goes the same way, so a copy shares nothing.
template <class Class, class Encode, class Decode>
void BindByteForm(Class& cls, Encode encode, Decode decode) {
  using T = typename Class::type;
  cls.def(py::pickle(
      [encode](const T& self) { return py::bytes(encode(self)); },
      [decode](const py::bytes& state) { return decode(std::string(state)); }));
}

// pickle, copy.copy and copy.deepcopy all ask __reduce_ex__ first.
template <class Class>
void RefuseByteForm(Class& cls, const char* why) {
  const std::string text = std::string("cannot pickle or copy a ") +
                           py::str(cls.attr("__name__")).cast<std::string>() + ": " + why;
  cls.def(
      "__reduce_ex__", [text](const py::object&, int) -> py::object {
        throw py::type_error(text);
      },
      py::arg("protocol"));
}

}  // namespace velorin::bindings
