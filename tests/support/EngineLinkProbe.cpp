// Linked with every engine library; its dependencies are checked for Qt.
int main()
{
    return 0;
}
