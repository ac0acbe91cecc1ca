#pragma once

namespace ombrel {

// The format version that ombrel-scan's --json document and each --json-lines
// object carry. Raised when a reader of the old form would misread the new
// one; adding a member does not raise it. doc/schema describes each form.
constexpr int kJsonFormatVersion = 2;

} // namespace ombrel
