// The filter's editor as a DirectShow host opens it: the property pages the filter
// names, in the system's property frame.
#pragma once

#include "FilterModule.h"

#include <strmif.h>

#include <string>

namespace qzhost {

// Throws HostError when this session cannot show a window (it has no display), so
// that the editor is known to open before the audio starts.
void CheckWindowsCanOpen();

// Opens the pages `filter` names (ISpecifyPropertyPages) in the system's modal
// property frame, titled `caption`, and returns when the user has closed it. The
// pages come from `module`, which need not be registered. Throws HostError.
void ShowEditorFrame(FilterModule& module, IBaseFilter* filter, const std::wstring& caption);

} // namespace qzhost
