# Every PC of a classroom runs the agent on a network that students share: the programs are
# built so that a memory fault is hard to turn into an attack. Addresses are randomised, the
# stack and fixed-size buffers are checked, and relocations are read-only once loaded.
if(MINGW)
  # The linker's defaults today; said here so that a change of toolchain cannot drop them.
  add_link_options(-Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_compile_options(-fstack-protector-strong)
  # The checked calls need the optimiser, which the sanitizer build goes without.
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
