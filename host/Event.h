// Method references: an object plus a piece of code, the way the components publish their
// events. Two references are equal when their code is the same, whatever object they carry;
// write rules of several components ("an equal write does nothing") depend on that.
#pragma once

#include <utility>

namespace host {

template <class Sig>
class Event;

template <class R, class... Args>
class Event<R(Args...)> {
 public:
  using Code = R (*)(void* object, Args... args);

  constexpr Event() = default;
  constexpr Event(std::nullptr_t) {}

  // Event::Of<&T::Method>(obj): the member function Method called on obj.
  template <auto Method, class T>
  static Event Of(T* object) {
    return Event(const_cast<void*>(static_cast<const void*>(object)), &MemberThunk<Method, T>);
  }
  // Event::Of<&Function>(): a free function; the object part stays empty.
  template <R (*Function)(Args...)>
  static Event Of() {
    return Event(nullptr, &FreeThunk<Function>);
  }
  // Raw form, for code that carries an object of its own through a plain function.
  static Event FromRaw(void* object, Code code) { return Event(object, code); }

  bool IsSet() const { return code_ != nullptr; }
  explicit operator bool() const { return IsSet(); }
  void* Object() const { return object_; }
  Code CodePart() const { return code_; }

  R operator()(Args... args) const { return code_(object_, std::forward<Args>(args)...); }

  friend bool operator==(const Event& a, const Event& b) { return a.code_ == b.code_; }
  friend bool operator!=(const Event& a, const Event& b) { return a.code_ != b.code_; }
  // Same code and same object: what "the same handler" means to a caller comparing bindings.
  bool Identical(const Event& other) const {
    return code_ == other.code_ && object_ == other.object_;
  }

 private:
  Event(void* object, Code code) : object_(object), code_(code) {}

  template <auto Method, class T>
  static R MemberThunk(void* object, Args... args) {
    return (static_cast<T*>(object)->*Method)(std::forward<Args>(args)...);
  }
  template <R (*Function)(Args...)>
  static R FreeThunk(void*, Args... args) {
    return Function(std::forward<Args>(args)...);
  }

  void* object_ = nullptr;
  Code code_ = nullptr;
};

class TObject;
using TNotifyEvent = Event<void(TObject* Sender)>;

}  // namespace host
