#pragma once
// The desktop integration: the product's shell extension, an in-process COM
// class with IShellExtInit and IContextMenu. The program initialises it with a
// data object over one file and invokes its attachment-editing verb.

#include <objbase.h>

// {FD3B52D1-B288-4260-A8F7-E882ABD0AE78}
inline constexpr CLSID CLSID_DxDesktopIntegration = {0xFD3B52D1, 0xB288, 0x4260,
                                                     {0xA8, 0xF7, 0xE8, 0x82, 0xAB, 0xD0, 0xAE, 0x78}};

// The context-menu verb that opens an attachment for editing.
inline constexpr char DX_ATTACHMENT_EDIT_VERB[] = "VlmKdAttachmentEdit";
