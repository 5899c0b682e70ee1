// QuantumRegister, AncillaRegister, ClassicalRegister.
#include <pybind11/stl.h>

#include "bindings/bindings.h"
#include "bindings/pickling.h"
#include "circuit/registers.h"
#include "circuit/serialize.h"

namespace velorin::bindings {

namespace {

// Counts start, start + 1, ... for iteration over a register.
struct IndexIterator {
  int64_t value;
  int64_t operator*() const { return value; }
  IndexIterator& operator++() {
    ++value;
    return *this;
  }
  bool operator==(const IndexIterator& other) const { return value == other.value; }
  bool operator!=(const IndexIterator& other) const { return value != other.value; }
};

template <class R>
void BindRegister(py::module_& m, const char* py_name, const char* kind) {
  const std::string size_doc = std::string("Returns the number of qubits defined in this ") + kind +
                               " register";
  const std::string name_doc = std::string("Returns the name of the ") + kind + " register";
  const std::string prefix_doc =
      std::string("Returns the prefix defined for the ") + kind + " register's name";
  py::class_<R> cls(m, py_name);
  cls.def(py::init([](int32_t size) { return std::make_unique<R>(size, ""); }))
      .def(py::init<int32_t, std::string>())
      .def("size", &R::size, size_doc.c_str())
      .def("name", &R::name, name_doc.c_str())
      .def("prefix", [](const R&) { return R::prefix(); }, prefix_doc.c_str())
      .def("__len__", &R::size, size_doc.c_str())
      .def("__getitem__", &R::operator[], "Get item at the specified index")
      // Iteration yields the register's own indices and ends; plain indexing
      // stays unchecked.
      .def(
          "__iter__",
          [](const R& reg) {
            const int64_t begin = reg.start();
            const int64_t end = begin + std::max<int32_t>(reg.size(), 0);
            return py::make_iterator(IndexIterator{begin}, IndexIterator{end});
          },
          py::keep_alive<0, 1>());
  BindByteForm(
      cls, [](const R& reg) { return EncodeRegister(reg); },
      [](const std::string& bytes) { return DecodeRegister<R>(bytes); });
}

}  // namespace

void BindRegisters(py::module_& m) {
  BindRegister<QuantumRegister>(m, "QuantumRegister", "quantum");
  BindRegister<AncillaRegister>(m, "AncillaRegister", "ancilla");
  BindRegister<ClassicalRegister>(m, "ClassicalRegister", "classical");
}

}  // namespace velorin::bindings
