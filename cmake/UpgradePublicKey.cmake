# The maker's Ed25519 public key as the build takes it: the text
# `shopscope-publish keygen` prints (base64 or hex of its 32 bytes), or empty
# for a build that reads upgrade info files unsigned.
#
# shopscope_upgrade_public_key(OUT TEXT) sets OUT to TEXT without its leading
# and trailing whitespace (a key read from a file, or by a shell that keeps
# the line end, carries one) and stops the configuration with an error when
# what is left is not such a key.
#
# Run as a script, `cmake -DKEY=TEXT -P UpgradePublicKey.cmake` checks TEXT
# the same way and prints "upgrade public key: [KEY]" with the key the build
# would compile in.

function(shopscope_upgrade_public_key out text)
  string(STRIP "${text}" key)
  string(LENGTH "${key}" length)
  if(NOT length EQUAL 0
     AND NOT (length EQUAL 44 AND key MATCHES "^[A-Za-z0-9+/]+=$")
     AND NOT (length EQUAL 64 AND key MATCHES "^[0-9A-Fa-f]+$"))
    # The value itself is not repeated: a private key pasted by mistake must
    # not end up in build logs.
    message(FATAL_ERROR "SHOPSCOPE_UPGRADE_PUBLIC_KEY is not an upgrade public key (${length} characters "
                        "without surrounding blanks). Give the text `shopscope-publish keygen` prints: 44 "
                        "characters of base64 ending in \"=\", or 64 hexadecimal digits; or leave it empty "
                        "to read upgrade info files unsigned.")
  endif()
  set(${out} "${key}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  shopscope_upgrade_public_key(key "${KEY}")
  message("upgrade public key: [${key}]")
endif()
