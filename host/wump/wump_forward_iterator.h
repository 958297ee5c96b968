#pragma once
// data: a forward iterator over values of T that hides its implementation
// (e.g. the route info's fanout and fanin gid walks). It owns a copy of the
// implementation; copies clone it.
#include "common/host_api.h"

template <class T> class WUMP_FORWARD_ITERATOR_IMPL {
public:
  virtual ~WUMP_FORWARD_ITERATOR_IMPL() = default;
  virtual WUMP_FORWARD_ITERATOR_IMPL* clone() const = 0;
  virtual T deref() const = 0;
  virtual void next() = 0;
  virtual bool equals(const WUMP_FORWARD_ITERATOR_IMPL& other) const = 0;
};

template <class T> class WUMP_FORWARD_ITERATOR {
public:
  WUMP_FORWARD_ITERATOR() = default;
  // Takes a copy of a concrete implementation.
  explicit WUMP_FORWARD_ITERATOR(const WUMP_FORWARD_ITERATOR_IMPL<T>& impl) : m_impl(impl.clone()) {}
  inline WUMP_FORWARD_ITERATOR(const WUMP_FORWARD_ITERATOR& other);
  WUMP_FORWARD_ITERATOR& operator=(const WUMP_FORWARD_ITERATOR& other) {
    if (this != &other) {
      WUMP_FORWARD_ITERATOR_IMPL<T>* copy = other.m_impl ? other.m_impl->clone() : nullptr;
      delete m_impl;
      m_impl = copy;
    }
    return *this;
  }
  ~WUMP_FORWARD_ITERATOR() { delete m_impl; }

  T operator*() const { return m_impl->deref(); }
  WUMP_FORWARD_ITERATOR& operator++() {
    m_impl->next();
    return *this;
  }
  bool operator==(const WUMP_FORWARD_ITERATOR& o) const {
    if (!m_impl || !o.m_impl) return m_impl == o.m_impl;
    return m_impl->equals(*o.m_impl);
  }
  bool operator!=(const WUMP_FORWARD_ITERATOR& o) const { return !(*this == o); }
  const WUMP_FORWARD_ITERATOR_IMPL<T>* impl() const { return m_impl; }

private:
  WUMP_FORWARD_ITERATOR_IMPL<T>* m_impl = nullptr;
};

#include "wump_forward_iterator_sys.h"
