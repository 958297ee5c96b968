#pragma once
// Copying a forward iterator clones the source's implementation through its
// virtual clone and owns the clone, releasing one it held before.
#include "wump/wump_forward_iterator.h"

template <class T>
inline WUMP_FORWARD_ITERATOR<T>::WUMP_FORWARD_ITERATOR(const WUMP_FORWARD_ITERATOR& other) : m_impl(nullptr) {
  WUMP_FORWARD_ITERATOR_IMPL<T>* copy = other.m_impl ? other.m_impl->clone() : nullptr;
  delete m_impl;
  m_impl = copy;
}
