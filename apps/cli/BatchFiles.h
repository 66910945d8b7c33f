// The images of a batch on their way to the disk. Each is written into a temporary file beside
// its name; a group of them is then made durable at once (one sync of each file system they
// are on), given their names, and their folders synced. So no image is ever visible under its
// name before its bytes are on the disk, a crash leaves each image whole or absent, and a
// batch costs one sync per group instead of one per image.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace quillax::host {

// An image written but not yet under its name. Without a temporary it was written in place
// (its name is a device or a pipe) and needs nothing more.
struct TStagedImage {
    std::string Target;    // the name it takes, a symbolic link's target in place of the link
    std::string Temporary; // beside the target
};

// Writes the bytes into a new temporary file beside fileName (beside the final target of a
// symbolic link), or straight into fileName when that is neither a regular file nor a folder.
// Raises Exception when the bytes cannot be written; nothing is then left behind.
TStagedImage StageImage(const std::string& fileName, std::span<const char> bytes);

// Makes the staged images durable, then gives each its name, then syncs the folders that
// hold them. Gives for each image the reason it could not be written, or an empty text; an
// image that failed leaves no temporary behind.
std::vector<std::string> CommitImages(std::span<const TStagedImage> images);

// Makes the folder and any missing folder above it, each made durable in its parent at once.
// Raises Exception when a folder cannot be made.
void MakeFolders(const std::filesystem::path& folder);

// Removes the temporary of an image that will not be committed.
void DiscardImage(const TStagedImage& image);

} // namespace quillax::host
