# How events reach the system log on Linux: the SD-ID under which RFC 5424
# structured data carries an event's fields is vkdiag@<enterprise number>.
# 32473 is the number RFC 5612 sets aside for documentation; a vendor that
# ships the library sets its own number from IANA's registry here, and the
# platform layer, the tests and the rsyslog examples all take it from here.
set(VK_SYSLOG_ENTERPRISE_NUMBER 32473 CACHE STRING "IANA private enterprise number of the events' SD-ID")
if(NOT VK_SYSLOG_ENTERPRISE_NUMBER MATCHES "^[1-9][0-9]*$")
  message(FATAL_ERROR "VK_SYSLOG_ENTERPRISE_NUMBER must be a number, not '${VK_SYSLOG_ENTERPRISE_NUMBER}'")
endif()
set(VK_SYSLOG_SD_ID "vkdiag@${VK_SYSLOG_ENTERPRISE_NUMBER}")

# rsyslog configurations for a fleet: a machine that forwards its events
# over RELP, and a collector that writes them as JSON Lines.
set(VK_RSYSLOG_EXAMPLES_DIR ${PROJECT_BINARY_DIR}/rsyslog-examples)
foreach(example vkdiag-forward.conf vkdiag-collector.conf)
  configure_file(${PROJECT_SOURCE_DIR}/examples/rsyslog/${example}.in ${VK_RSYSLOG_EXAMPLES_DIR}/${example} @ONLY)
endforeach()
