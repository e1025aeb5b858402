/* The containers seen from C99: the public headers, the inline reads and
 * the class slots, used the way a C module of the library uses them. */
#include <stddef.h>
#include <stdlib.h>

#include "generics.h"
#include "util.h"

/* Returns 0 when every check holds, else the number of the first that
 * failed.  Called from a C++ test. */
int CApi_Containers(void);

int CApi_Containers(void)
{
    HandleObject handle = {&HandleObject_Table, (void *)0x10};
    EventObject event = {&EventObject_Table, (void *)0x10};
    Vector *bag = ObjectVector_New();
    Vector *v = Vector_New();
    Map *map = Map_New(0);
    HandleObject *owned;
    int result = 0;

    if (bag == NULL || v == NULL || map == NULL)
        result = 1;
    /* A temporary made and handed to an owning vector in one step. */
    else if ((owned = (HandleObject *)Vector_Append(bag, malloc(sizeof(HandleObject)))) == NULL)
        result = 2;
    else {
        owned->ftbl = &HandleObject_Table;
        owned->handle = (void *)0x20;
        if (VECTOR_FTBL(v)->Append(v, &event) != &event || Vector_Length(v) != 1)
            result = 3;
        else if (Vector_GetAt(v, 0) != &event || !VECTOR_FTBL(v)->Contains(v, &handle))
            result = 4;
        else {
            MAP_FTBL(map)->Put(map, &handle, &event);
            if (Map_Get(map, &event) != &event || Map_IndexOf(map, owned) != -1)
                result = 5;
        }
    }
    Map_Destroy(map);
    Vector_Destroy(v);
    Vector_Destroy(bag); /* ends the temporary */
    return result;
}
