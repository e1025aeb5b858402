/* The containers from C99: 0 when all holds, else the first failed check. */
#include <stdlib.h>

#include "generics.h"
#include "util.h"

int CApi_Containers(void)
{
    HandleObject handle = {&HandleObject_Table, (void *)0x10};
    EventObject event = {&EventObject_Table, (void *)0x10};
    Vector *bag = ObjectVector_New(), *v = Vector_New();
    Map *map = Map_New(0);

    *(HandleObject *)Vector_Append(bag, malloc(sizeof handle)) = handle; /* made and handed over at once */
    VECTOR_FTBL(v)->Append(v, &event);
    MAP_FTBL(map)->Put(map, &handle, &event);
    int result = Vector_Length(v) != 1 || Vector_GetAt(v, 0) != &event || !VECTOR_FTBL(v)->Contains(v, &handle) ? 1
                 : Map_Get(map, &event) != &event || !Vector_Contains(bag, &event) ? 2 : 0;
    Map_Destroy(map);
    Vector_Destroy(v);
    Vector_Destroy(bag); /* ends the temporary */
    return result;
}
