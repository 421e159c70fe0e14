# Where `cmake --install` puts each artifact, under the install prefix unless
# a folder is given as an absolute path (make install gives the user's
# GStreamer and OBS folders so).
#
#   bin/lumagrove-preview                   the preview host
#   LIBDIR/lumagrove/lumagrove.so           the plug-in, for the preview host and embedding programs
#   LIBDIR/liblumagrove.so.0                the C library; include/lumagrove/lumagrove.h,
#                                           LIBDIR/pkgconfig/lumagrove.pc, LIBDIR/cmake/Lumagrove/
#   LUMAGROVE_GST_PLUGIN_DIR                the GStreamer element (over liblumagrove)
#   LUMAGROVE_OBS_MODULE_DIR                the OBS module (over liblumagrove)
#   LUMAGROVE_OBS_DATA_DIR                  the OBS module's texts
#   LUMAGROVE_VLC_PLUGIN_DIR                the VLC visualisation (over liblumagrove)
#   LUMAGROVE_KODI_LIB_DIR                  the Kodi add-on's library and the plug-in beside it
#   LUMAGROVE_KODI_DATA_DIR                 the Kodi add-on's addon.xml and resources
include(GNUInstallDirs)
set(LUMAGROVE_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/lumagrove CACHE PATH "Where the plug-in is installed")
set(LUMAGROVE_GST_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/gstreamer-1.0 CACHE PATH
  "Where the GStreamer element is installed")
set(LUMAGROVE_OBS_MODULE_DIR ${CMAKE_INSTALL_LIBDIR}/obs-plugins CACHE PATH "Where the OBS module is installed")
set(LUMAGROVE_OBS_DATA_DIR ${CMAKE_INSTALL_DATADIR}/obs/obs-plugins/lumagrove-obs CACHE PATH
  "Where the OBS module's texts are installed")
set(LUMAGROVE_VLC_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/vlc/plugins/visualization CACHE PATH
  "Where the VLC visualisation module is installed")
set(LUMAGROVE_KODI_LIB_DIR ${CMAKE_INSTALL_LIBDIR}/kodi/addons/visualization.lumagrove CACHE PATH
  "Where the Kodi add-on's library is installed")
set(LUMAGROVE_KODI_DATA_DIR ${CMAKE_INSTALL_DATADIR}/kodi/addons/visualization.lumagrove CACHE PATH
  "Where the Kodi add-on's addon.xml and resources are installed")
