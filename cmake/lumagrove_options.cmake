# Small helpers shared by every Lumagrove target.

# GL and GLU as one target: the system's libGL/libGLU here, opengl32/glu32 on
# Windows; on the web Emscripten's emulation of OpenGL 1.1 on WebGL, linked
# into the page (hosts/web/).
add_library(lumagrove_gl INTERFACE)
if(EMSCRIPTEN)
elseif(WIN32)
  target_link_libraries(lumagrove_gl INTERFACE opengl32 glu32)
else()
  set(OpenGL_GL_PREFERENCE LEGACY)
  find_package(OpenGL REQUIRED COMPONENTS OpenGL)
  target_link_libraries(lumagrove_gl INTERFACE OpenGL::GL OpenGL::GLU)
endif()

# The plug-in's numbers must not depend on the compiler: no fused multiply-add,
# no fast-math, and on 32-bit x86 SSE2 doubles instead of 80-bit x87 registers
# (WebAssembly's are IEEE doubles already).
function(lumagrove_exact_float target)
  target_compile_options(${target} PRIVATE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-ffp-contract=off -fno-fast-math>)
  if(NOT EMSCRIPTEN AND (CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" OR CMAKE_SIZEOF_VOID_P EQUAL 4))
    target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU,Clang>:-msse2 -mfpmath=sse>)
  endif()
endfunction()

# Warnings: -Wall -Wextra on every target of the project's own code;
# LUMAGROVE_WERROR makes them errors (CI builds so).
option(LUMAGROVE_WERROR "Treat compiler warnings in the project's code as errors" OFF)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra)
  if(LUMAGROVE_WERROR)
    add_compile_options(-Werror)
  endif()
endif()

# Whole-build instrumentation (clang or gcc): AddressSanitizer with
# LeakSanitizer, and UndefinedBehaviorSanitizer with every report fatal.
option(LUMAGROVE_SANITIZE "Build everything with ASan, UBSan and LSan" OFF)
if(LUMAGROVE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
# ThreadSanitizer, for the C API's thread tests (built alone: it cannot be
# combined with the sanitizers above).
option(LUMAGROVE_TSAN "Build with ThreadSanitizer" OFF)
if(LUMAGROVE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
# Instrumented either way, the sanitizers' runtimes live in the executable:
# shared libraries leave those names to it.
if(LUMAGROVE_SANITIZE OR LUMAGROVE_TSAN)
  set(LUMAGROVE_INSTRUMENTED ON)
else()
  set(LUMAGROVE_INSTRUMENTED OFF)
endif()

# Coverage instrumentation for libFuzzer (clang only); adds the fuzz targets.
option(LUMAGROVE_FUZZ "Build the libFuzzer targets (clang)" OFF)
if(LUMAGROVE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# A plug-in module whose only exported symbol is QueryInterface.
function(lumagrove_export_only_entry target)
  if(WIN32)
    target_link_options(${target} PRIVATE -static-libgcc -static-libstdc++ -Wl,--exclude-libs,ALL)
  else()
    target_link_options(${target} PRIVATE
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/plugin/exports.map -Wl,--exclude-libs,ALL)
    if(NOT LUMAGROVE_INSTRUMENTED)
      target_link_options(${target} PRIVATE -Wl,--no-undefined)
    endif()
  endif()
endfunction()

# Gives `target` an include root of its own, holding only the project folder
# `folder` (a link to it), so that "<folder>/x.h" is found by the target and
# by what links it, and no other folder of the tree is.
function(lumagrove_include_root target folder)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# A host that another program loads as a module (the GStreamer element, the
# OBS and VLC modules) over liblumagrove: built into `folder`, installed in
# `destination` (relative to the prefix) as part of install component
# `component` (its package), its own symbols hidden. It finds
# the library by its run path: the build folder, or the install's library
# folder relative to its own, or by its full path when `destination` is
# absolute (a user's OBS or GStreamer folder); the system's needs none. The
# library finds the plug-in installed with it.
function(lumagrove_api_module target folder destination component)
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${folder}
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden)
  target_link_libraries(${target} PRIVATE liblumagrove)
  lumagrove_library_run_path(${target} ${destination})
  install(TARGETS ${target} LIBRARY DESTINATION ${destination} COMPONENT ${component})
endfunction()

# The installed `target` (a module or a program in `destination`) finds
# liblumagrove: relative to its own folder, by the library folder's full
# path when `destination` is absolute, or, in the system's folders, as any
# program does.
function(lumagrove_library_run_path target destination)
  list(FIND CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES ${CMAKE_INSTALL_FULL_LIBDIR} system)
  if(system EQUAL -1 AND IS_ABSOLUTE ${destination})  # a user's own folder: make install
    set_target_properties(${target} PROPERTIES INSTALL_RPATH ${CMAKE_INSTALL_FULL_LIBDIR})
  elseif(system EQUAL -1)
    file(RELATIVE_PATH to_library /${destination} /${CMAKE_INSTALL_LIBDIR})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_library}")
  endif()
endfunction()

# A C program that links liblumagrove: in an instrumented build it is linked
# by the C++ compiler, which brings the C++ half of the sanitizers' runtime
# that the library's instrumented C++ calls.
function(lumagrove_c_program target)
  if(LUMAGROVE_INSTRUMENTED)
    set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX)
  endif()
endfunction()
