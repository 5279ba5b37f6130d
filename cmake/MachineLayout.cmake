# Where a Linux machine keeps vkdiag's shared state and channels, and who may
# write them. Written once here; the platform layer, the operator's tool and
# the systemd-tmpfiles entry take it from the files generated below.
set(VK_MACHINE_STORE_DIR "/var/lib/vkdiag")
set(VK_MACHINE_RUNTIME_DIR "/run/vkdiag")
set(VK_MACHINE_GROUP "vkdiag")
# Directories: root and the group, set-group-ID so new files take the group.
set(VK_MACHINE_DIRECTORY_MODE "2775")
# The store's files: root and the group write them, every user reads them.
set(VK_MACHINE_FILE_MODE "0664")

set(VK_SHARED_GENERATED_DIR ${PROJECT_BINARY_DIR}/shared)
configure_file(${PROJECT_SOURCE_DIR}/src/shared/machine_layout.h.in ${VK_SHARED_GENERATED_DIR}/machine_layout.h @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/vkdiag-tmpfiles.conf.in ${PROJECT_BINARY_DIR}/vkdiag-tmpfiles.conf @ONLY)

# The door through which the tool reaches what it shares with the library
# and the platform layer: src/shared and its generated headers, nothing else.
set(VK_SHARED_INCLUDE_DIRS ${PROJECT_SOURCE_DIR}/src/shared ${VK_SHARED_GENERATED_DIR})
