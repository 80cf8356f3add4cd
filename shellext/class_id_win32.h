// The class identifier of the context-menu handler, {EBDF1F20-C829-11D1-8233-0020AF3E97A9}.
// mingw ignores __declspec(uuid), so it comes from DEFINE_GUID; the one translation unit that
// defines it includes <initguid.h> first.
#pragma once

#include <guiddef.h>

DEFINE_GUID(CLSID_ZelvaneContextMenu, 0xEBDF1F20, 0xC829, 0x11D1, 0x82, 0x33, 0x00, 0x20, 0xAF,
            0x3E, 0x97, 0xA9);
