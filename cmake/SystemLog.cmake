# How events reach the system log on Linux: the SD-ID under which RFC 5424
# structured data carries an event's fields is vkdiag@<enterprise number>.
# 32473 is the number RFC 5612 sets aside for documentation; a vendor that
# ships the library sets its own number from IANA's registry here, and the
# platform layer and the tests take it from here.
set(VK_SYSLOG_ENTERPRISE_NUMBER 32473 CACHE STRING "IANA private enterprise number of the events' SD-ID")
if(NOT VK_SYSLOG_ENTERPRISE_NUMBER MATCHES "^[1-9][0-9]*$")
  message(FATAL_ERROR "VK_SYSLOG_ENTERPRISE_NUMBER must be a number, not '${VK_SYSLOG_ENTERPRISE_NUMBER}'")
endif()
set(VK_SYSLOG_SD_ID "vkdiag@${VK_SYSLOG_ENTERPRISE_NUMBER}")

