// The one exception type of the mesh kernel.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace geom {

// Thrown by the kernel when it cannot do what was asked. The kind tells the caller whose fault
// it is: the input (an operand the kernel cannot take, a bad index) or the computation itself
// (a library failure on input that was accepted). Memory exhaustion is never an Error: the
// kernel lets std::bad_alloc pass as itself, so that no caller mistakes it for bad geometry.
// what() names the operand, when one is named, and the fault, so callers can log it as it
// stands.
class Error : public std::runtime_error {
 public:
  enum class Kind {
    InvalidOperand,  // the input cannot be taken; operand() says which when the kernel knows
    Failure,         // the computation failed on input it had accepted
  };

  // Input the kernel cannot take, where the caller knows which input it handed over.
  explicit Error(const std::string& what) : Error(Kind::InvalidOperand, {}, what) {}

  // Operand (for example "operand A") cannot be taken, for the reason what.
  static Error invalidOperand(const std::string& operand, const std::string& what) {
    return Error(Kind::InvalidOperand, operand, what);
  }
  // The computation failed, for the reason what.
  static Error failure(const std::string& what) { return Error(Kind::Failure, {}, what); }

  Kind kind() const noexcept { return kind_; }
  // The operand at fault; empty when the kernel does not know which or none is.
  const std::string& operand() const noexcept { return operand_; }
  // The fault without the operand's name.
  const std::string& detail() const noexcept { return detail_; }

 private:
  Error(Kind kind, std::string operand, std::string detail)
      : std::runtime_error(operand.empty() ? detail : operand + " " + detail),
        kind_(kind),
        operand_(std::move(operand)),
        detail_(std::move(detail)) {}

  Kind kind_;
  std::string operand_;
  std::string detail_;
};

}  // namespace geom
