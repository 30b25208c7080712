# Warnings, static linking for Windows, sanitizers for the native checks.
add_compile_options(-Wall -Wextra -Wshadow)

if(WIN32)
  # One self-contained .exe: no MinGW runtime DLL beside it.
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(DVK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(DVK_FUZZ)
  # Everything is instrumented for coverage and checked by ASan and UBSan;
  # only the fuzz targets link libFuzzer's own main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
