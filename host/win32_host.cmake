# The preview host for 32-bit Windows: the host's platform-neutral modules
# with WGL for the context and LoadLibrary for the plug-in. No audio decoding
# or analysis (libsndfile and FFTW are not built for Windows), no encoder and
# no live window: levels come from a CSV, frames go to PNG files.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

add_library(lumagrove_host STATIC
  bitmap_font.cpp
  clock_text.cpp
  contact_sheet.cpp
  find_program_win32.cpp
  frame_queue.cpp
  gl_context.cpp
  gl_context_wgl.cpp
  host_main.cpp
  interrupt.cpp
  levels_csv.cpp
  options.cpp
  plugin_loader.cpp
  plugin_loader_win32.cpp
  output_file.cpp
  png_folder_sink.cpp
  png_writer.cpp
  progress.cpp
  render_loop.cpp
  win32_error.cpp)
target_include_directories(lumagrove_host PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(lumagrove_host PUBLIC lumagrove_gl ZLIB::ZLIB Threads::Threads gdi32 user32)
target_compile_definitions(lumagrove_host PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

# CLI11 is header-only: the build machine's copy (libcli11-dev), and only it,
# joins the MinGW headers.
find_path(LUMAGROVE_CLI11_DIR CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/cli11)
file(CREATE_LINK ${LUMAGROVE_CLI11_DIR}/CLI ${CMAKE_CURRENT_BINARY_DIR}/cli11/CLI SYMBOLIC)
target_include_directories(lumagrove_host SYSTEM PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/cli11)

add_executable(lumagrove-preview main_win32.cpp)
target_link_libraries(lumagrove-preview PRIVATE lumagrove_host)
# One self-contained .exe: no libgcc, libstdc++ or winpthread DLLs beside it.
target_link_options(lumagrove-preview PRIVATE -static)
set_target_properties(lumagrove-preview PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
add_dependencies(lumagrove-preview lumagrove)
