#include "ui/apco_plugin_link.h"

#include "plugin/apco_plugin.h"

void SendPluginDecoderEvents(CApcoPlugin* plugin) {
    if (plugin) plugin->SendDecoderEvents();
}
