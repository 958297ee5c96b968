#pragma once
// ZMP_FILTER_BIDIR_ITER<FILTER, IT>: the elements of a wrapped bidirectional
// iterator range that a filter accepts. It holds, in this order, the filter,
// the current wrapped iterator, the wrapped begin (the bound for stepping
// back) and the wrapped end.
#include <iterator>
#include <utility>

template <class FILTER, class IT> class ZMP_FILTER_BIDIR_ITER {
public:
  using iterator_category = std::bidirectional_iterator_tag;
  using value_type = typename std::iterator_traits<IT>::value_type;
  using difference_type = std::ptrdiff_t;
  using reference = typename std::iterator_traits<IT>::reference;
  using pointer = void;

  ZMP_FILTER_BIDIR_ITER() = default;
  // Positioned at `current`, not yet moved past rejected elements.
  ZMP_FILTER_BIDIR_ITER(FILTER filter, IT current, IT begin, IT end)
      : m_filter(std::move(filter)), m_current(current), m_begin(begin), m_end(end) {}

  reference operator*() const { return *m_current; }
  const IT& base() const { return m_current; }
  const IT& begin_bound() const { return m_begin; }
  const IT& end_bound() const { return m_end; }

  // Moves forward while current is not the end and the filter rejects it.
  void skip_to_next_unfiltered_elem() {
    while (!(m_current == m_end) && !m_filter(*m_current)) ++m_current;
  }
  // Moves back while current is not the begin bound and the filter rejects it.
  void skip_to_prev_unfiltered_elem() {
    while (!(m_current == m_begin) && !m_filter(*m_current)) --m_current;
  }

  ZMP_FILTER_BIDIR_ITER& operator++() {
    ++m_current;
    skip_to_next_unfiltered_elem();
    return *this;
  }
  ZMP_FILTER_BIDIR_ITER operator++(int) {
    ZMP_FILTER_BIDIR_ITER old = *this;
    ++*this;
    return old;
  }
  ZMP_FILTER_BIDIR_ITER& operator--() {
    if (m_current == m_begin) return *this;
    --m_current;
    skip_to_prev_unfiltered_elem();
    return *this;
  }
  ZMP_FILTER_BIDIR_ITER operator--(int) {
    ZMP_FILTER_BIDIR_ITER old = *this;
    --*this;
    return old;
  }

  friend bool operator==(const ZMP_FILTER_BIDIR_ITER& a, const ZMP_FILTER_BIDIR_ITER& b) {
    return a.m_current == b.m_current;
  }

private:
  FILTER m_filter{};
  IT m_current{};
  IT m_begin{};
  IT m_end{};
};
