# Turns the three target files into one C++ source (run at build time by TargetImages.cmake).
function(embed var path out_text)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hexlen)
  math(EXPR size "${hexlen} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){24})" "\\1\n" body "${body}")
  set(${out_text} "${${out_text}}static const std::uint8_t ${var}[${size}] = {\n${body}};\n" PARENT_SCOPE)
endfunction()

set(text "// Generated from the target image files; do not edit.\n#include \"engine/TargetImages.h\"\n\nnamespace zrk {\nnamespace {\n")
embed(kPreLoader "${PRELOADER}" text)
embed(kBootLoader "${BOOTLOADER}" text)
embed(kCustomerId "${CUSTOMER_ID}" text)
string(APPEND text "}  // namespace\n\n"
  "std::span<const std::uint8_t> preLoaderImage() { return kPreLoader; }\n"
  "std::span<const std::uint8_t> bootLoaderImage() { return kBootLoader; }\n"
  "std::span<const std::uint8_t> customerId() { return kCustomerId; }\n\n}  // namespace zrk\n")
file(WRITE "${OUT}.tmp" "${text}")
file(RENAME "${OUT}.tmp" "${OUT}")
