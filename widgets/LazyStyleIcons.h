#pragma once
// Every menu bar asks the style at once for its overflow button's icon,
// which a window of fixed width never shows; the style reads it from a PNG,
// and Qt loads all of its image plugins to find a reader for the first PNG.
// This wraps the application's style, once, so that icon is read the first
// time something draws or measures it; it looks the same.

void DeferMenuBarExtensionIcons();
