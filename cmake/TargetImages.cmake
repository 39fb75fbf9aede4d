# The target programs (pre-loader, boot-loader) and the customer identifier travel inside the
# program as opaque data. Placeholders live in resources/target (see its README for the recipe);
# a user with the real files names them here at configure time.
set(ZRK_PRELOADER_IMAGE "${CMAKE_SOURCE_DIR}/resources/target/preloader.bin"
    CACHE FILEPATH "Pre-loader image sent to the boot ROM (exactly 1780 bytes)")
set(ZRK_BOOTLOADER_IMAGE "${CMAKE_SOURCE_DIR}/resources/target/bootloader.bin"
    CACHE FILEPATH "Boot-loader image sent to the pre-loader (exactly 317792 bytes)")
set(ZRK_CUSTOMER_ID "${CMAKE_SOURCE_DIR}/resources/target/customer-id.bin"
    CACHE FILEPATH "Customer identifier sent to the boot ROM (exactly 4 bytes)")

function(zrk_check_image path expected what)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${what}: file not found: ${path}")
  endif()
  file(SIZE "${path}" actual)
  if(NOT actual EQUAL expected)
    message(FATAL_ERROR "${what}: ${path} is ${actual} bytes; it must be exactly ${expected} bytes.")
  endif()
endfunction()

zrk_check_image("${ZRK_PRELOADER_IMAGE}" 1780 "ZRK_PRELOADER_IMAGE")
zrk_check_image("${ZRK_BOOTLOADER_IMAGE}" 317792 "ZRK_BOOTLOADER_IMAGE")
zrk_check_image("${ZRK_CUSTOMER_ID}" 4 "ZRK_CUSTOMER_ID")

set(_gen "${CMAKE_BINARY_DIR}/generated/TargetImagesData.cpp")
add_custom_command(
  OUTPUT "${_gen}"
  COMMAND ${CMAKE_COMMAND}
          -DPRELOADER=${ZRK_PRELOADER_IMAGE} -DBOOTLOADER=${ZRK_BOOTLOADER_IMAGE}
          -DCUSTOMER_ID=${ZRK_CUSTOMER_ID} -DOUT=${_gen}
          -P "${CMAKE_SOURCE_DIR}/cmake/EmbedTargetImages.cmake"
  DEPENDS "${ZRK_PRELOADER_IMAGE}" "${ZRK_BOOTLOADER_IMAGE}" "${ZRK_CUSTOMER_ID}"
          "${CMAKE_SOURCE_DIR}/cmake/EmbedTargetImages.cmake"
  COMMENT "Embedding the target images"
  VERBATIM)
add_library(zrk_target_images STATIC "${_gen}" "${CMAKE_SOURCE_DIR}/engine/TargetImages.h")
target_include_directories(zrk_target_images PUBLIC ${CMAKE_SOURCE_DIR})
