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
# The plug-in's folder is where liblumagrove looks for it, LIBDIR/lumagrove
# beside the library: no choice of its own.
set(LUMAGROVE_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/lumagrove)
# Each module's folder: empty means the default under LIBDIR or DATADIR,
# worked out anew at each configure, so that a prefix changed later (whose
# LIBDIR GNUInstallDirs changes with it, /usr's being multiarch) moves them
# along.
function(lumagrove_install_dir name default description)
  set(${name} "" CACHE PATH "${description} (empty: ${default})")
  if(NOT ${name})
    set(${name} ${default} PARENT_SCOPE)
  endif()
endfunction()
lumagrove_install_dir(LUMAGROVE_GST_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/gstreamer-1.0
  "Where the GStreamer element is installed")
lumagrove_install_dir(LUMAGROVE_OBS_MODULE_DIR ${CMAKE_INSTALL_LIBDIR}/obs-plugins "Where the OBS module is installed")
lumagrove_install_dir(LUMAGROVE_OBS_DATA_DIR ${CMAKE_INSTALL_DATADIR}/obs/obs-plugins/lumagrove-obs
  "Where the OBS module's texts are installed")
lumagrove_install_dir(LUMAGROVE_VLC_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/vlc/plugins/visualization
  "Where the VLC visualisation module is installed")
lumagrove_install_dir(LUMAGROVE_KODI_LIB_DIR ${CMAKE_INSTALL_LIBDIR}/kodi/addons/visualization.lumagrove
  "Where the Kodi add-on's library is installed")
lumagrove_install_dir(LUMAGROVE_KODI_DATA_DIR ${CMAKE_INSTALL_DATADIR}/kodi/addons/visualization.lumagrove
  "Where the Kodi add-on's addon.xml and resources are installed")
