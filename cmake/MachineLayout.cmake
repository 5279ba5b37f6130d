# Where a Linux machine keeps vkdiag's shared state and channels, and who may
# write them. Written once here; the platform layer, the operator's tool and
# the systemd-tmpfiles entry take it from the files generated below.
set(VK_MACHINE_STORE_DIR "/var/lib/vkdiag")
set(VK_MACHINE_RUNTIME_DIR "/run/vkdiag")
set(VK_MACHINE_GROUP "vkdiag")
# The machine debug channel's directory: root and the group bind there,
# set-group-ID so a listener's socket takes the group.
set(VK_MACHINE_DIRECTORY_MODE "2775")
# The machine store's directory: root alone makes, links or renames
# anything in it; every user may pass through to the published copies.
set(VK_MACHINE_STORE_DIRECTORY_MODE "0755")
# The store's live files, every one made by setup: root and the group read
# and write them, nobody else opens them.
set(VK_MACHINE_FILE_MODE "0660")
# Below the store, where root and the group publish read-only copies for
# everyone else. Not sticky: each copy replaces the last, whoever made it;
# in a sticky directory a member could not replace root's or another
# member's copy, and everyone else would read that one for ever.
set(VK_PUBLISHED_DIRECTORY_NAME "published")
set(VK_PUBLISHED_DIRECTORY_MODE "2775")
set(VK_PUBLISHED_FILE_MODE "0644")

set(VK_SHARED_GENERATED_DIR ${PROJECT_BINARY_DIR}/shared)
configure_file(${PROJECT_SOURCE_DIR}/src/shared/machine_layout.h.in ${VK_SHARED_GENERATED_DIR}/machine_layout.h @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/vkdiag-tmpfiles.conf.in ${PROJECT_BINARY_DIR}/vkdiag-tmpfiles.conf @ONLY)

# The door through which the tool reaches what it shares with the library
# and the platform layer: src/shared and its generated headers, nothing else.
set(VK_SHARED_INCLUDE_DIRS ${PROJECT_SOURCE_DIR}/src/shared ${VK_SHARED_GENERATED_DIR})
