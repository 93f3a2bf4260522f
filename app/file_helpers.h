#pragma once
// Small text and file-system routines shared by the front end and the driver.

#include <string>

// Removes leading and trailing space characters (tabs stay); returns the new length.
size_t TrimSpaces(std::string& text);
// Full path of fileName in the running program's folder.
std::string PathBesideProgram(const std::string& fileName);
// 1 when the path names a file that can be opened for reading, else 0.
int FileExists(const std::string& path);
// 1 when the path names a folder that can be entered, else 0.
int FolderExists(const std::string& path);
// Creates every folder named by the text before each separator, left to right, ignoring
// failures. Only a path that ends in a separator gets its last folder created.
void CreateFolderPath(const std::string& path);
