// The one include of the core for varnok._native: everything the native module uses of
// the core comes through here, so the switch to the public API is one edit.
#pragma once

#include "parser/field_table.hpp"
#include "parser/reader.hpp"
