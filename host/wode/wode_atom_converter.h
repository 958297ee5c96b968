#pragma once
// recorded: conversion of logic cells into logic modules on one netlist.
#include "common/host_api.h"

class DEV_DEVICE;
class SIV_ATOM_MOD_UTILITY;
class VOK_ATOM_NETLIST;
namespace JUK {
template <class ID, class T> class FOREST;
}

class HOST_API WODE_ATOM_CONVERTER_KY {
public:
  WODE_ATOM_CONVERTER_KY(const DEV_DEVICE* device, SIV_ATOM_MOD_UTILITY* util) : m_device(device), m_util(util) {}
  void convert(VOK_ATOM_NETLIST* netlist, JUK::FOREST<int, int>* clock_network);

private:
  const DEV_DEVICE* m_device;
  SIV_ATOM_MOD_UTILITY* m_util;
};
