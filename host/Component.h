// TObject and TComponent: ownership by an owner component that frees what it owns, the loading
// state while a module builds its components, and removal notifications.
#pragma once

#include <string>
#include <vector>

namespace host {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

enum class TOperation { opInsert, opRemove };

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // The owned component of that name, or null.
  TComponent* FindComponent(const std::string& name) const;

  // The component's state flags that the system looks at.
  bool Loading() const { return loading_; }
  bool Designing() const { return false; }  // nothing here ever runs in a designer

  // A module building its components "from its stored form" brackets that with these: every
  // component created meanwhile under this owner is loading, and Loaded runs on each at the end.
  void BeginLoading();
  void EndLoading();

  // Ask to be told (Notification with opRemove) when `other` is destroyed.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

  // Frees every owned component, last first.
  void DestroyComponents();

 protected:
  virtual void Loaded() {}
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  bool loading_ = false;
};

}  // namespace host
