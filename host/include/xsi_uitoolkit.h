// Host SDK stand-in: the UI toolkit's progress bar, through which a long evaluation shows how
// far it is and learns that the user asked it to stop.
#pragma once

#include "xsi_core.h"

namespace XSI {

// The host's one progress bar. The value runs from 0 to the maximum (100 until set). Outside a
// host session every call does nothing and IsCancelPressed is false. No call throws.
class XSI_API ProgressBar {
 public:
  CStatus PutMaximum(LONG maximum);  // a negative maximum is taken as 0; the value is clamped
  LONG GetMaximum() const;
  CStatus PutValue(LONG value);  // clamped to [0, maximum]
  LONG GetValue() const;
  LONG Increment(LONG step = 1);  // adds step (clamped), returns the new value
  CStatus PutCaption(const CString& caption);
  CString GetCaption() const;
  // True once the user asked the running evaluation to stop (the host's Cancel button).
  bool IsCancelPressed() const;
};

class XSI_API UIToolkit {
 public:
  ProgressBar GetProgressBar() const { return ProgressBar(); }
};

}  // namespace XSI
