// The one call the main window makes into its plug-in object directly (on WM_APCO_SENDEVENTS):
// the plug-in object takes the frame decoder's queued trunking events and sends them to the
// host. Defined beside the plug-in object, so that the window links without it in tests.
#pragma once

class CApcoPlugin;

void SendPluginDecoderEvents(CApcoPlugin* plugin);
