# Authenticode: with a certificate and its key given, the Windows programs are
# signed after every link (scripts/authenticode-sign.sh, osslsigncode).
set(DVK_AUTHENTICODE_CERT "" CACHE FILEPATH "PEM code-signing certificate for the Windows programs")
set(DVK_AUTHENTICODE_KEY "" CACHE FILEPATH "PEM private key of DVK_AUTHENTICODE_CERT")

# Called beside add_executable (a post-build step must be added in the
# target's own directory); does nothing without a certificate.
function(dvk_authenticode_sign program)
  if(WIN32 AND DVK_AUTHENTICODE_CERT AND DVK_AUTHENTICODE_KEY)
    add_custom_command(TARGET ${program} POST_BUILD
      COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/authenticode-sign.sh ${DVK_AUTHENTICODE_CERT}
              ${DVK_AUTHENTICODE_KEY} $<TARGET_FILE:${program}>)
  endif()
endfunction()
