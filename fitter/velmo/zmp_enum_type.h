#pragma once
// ZMP_ENUM_TYPE<E>: one enumerated value on the polymorphic base
// ZMP_ENUM_BASE; passed by value. The destructor is the only virtual member.
#include <cstdint>

class ZMP_ENUM_BASE {
public:
  explicit ZMP_ENUM_BASE(std::int32_t value = 0) : m_value(value) {}
  ZMP_ENUM_BASE(const ZMP_ENUM_BASE&) = default;
  ZMP_ENUM_BASE& operator=(const ZMP_ENUM_BASE&) = default;
  virtual ~ZMP_ENUM_BASE() {}

  std::int32_t get_int_value() const { return m_value; }

protected:
  std::int32_t m_value;
};

template <class E> class ZMP_ENUM_TYPE : public ZMP_ENUM_BASE {
public:
  ZMP_ENUM_TYPE() = default;
  ZMP_ENUM_TYPE(E value) : ZMP_ENUM_BASE(static_cast<std::int32_t>(value)) {}
  ZMP_ENUM_TYPE(const ZMP_ENUM_TYPE&) = default;
  ZMP_ENUM_TYPE& operator=(const ZMP_ENUM_TYPE&) = default;
  ~ZMP_ENUM_TYPE() override {}

  E get() const { return static_cast<E>(m_value); }
  void set(E value) { m_value = static_cast<std::int32_t>(value); }
  operator E() const { return get(); }
};

static_assert(sizeof(ZMP_ENUM_BASE) == 16);
